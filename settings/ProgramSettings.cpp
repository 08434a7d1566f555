#include "settings/ProgramSettings.h"

#include "core/SessionSetup.h"

#include "core/RaceCore.h"

#include <QFileInfo>
#include <QSettings>

#include <pwd.h>
#include <unistd.h>

#include <array>

#include <algorithm>

namespace {

// A stored whole number, or nothing when the value is missing or not a whole number.
std::optional<int> readNumber(const QSettings &store, const char *key)
{
    const QVariant value = store.value(QLatin1String(key));
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    int number = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        number = value.toInt(&ok);
        break;
    case QMetaType::QString:
        number = value.toString().trimmed().toInt(&ok, 10);
        break;
    default:
        break;
    }
    return ok ? std::optional<int>(number) : std::nullopt;
}

void readInto(const QSettings &store, const char *key, int &target)
{
    if (const auto number = readNumber(store, key))
        target = *number;
}

} // namespace

ProgramSettings ProgramSettings::read(QSettings &store)
{
    ProgramSettings s;
    // No settings stored at all (the first run): every value keeps its default.
    if (store.allKeys().isEmpty())
        return s;
    s.left = readNumber(store, "Left");
    s.top = readNumber(store, "Top");
    readInto(store, "Width", s.width);
    readInto(store, "Height", s.height);
    readInto(store, "Acc", s.acc);
    readInto(store, "Autos", s.autos);
    readInto(store, "Time", s.time);
    // A stored empty title stays empty; a missing one keeps the default.
    s.title = store.value(QStringLiteral("Title"), s.title).toString();
    // The warning time needs both digit pairs; anything else keeps "00:30".
    const QString timeWarn = store.value(QStringLiteral("TimeWarn")).toString();
    if (RaceCore::WarnTextComplete(timeWarn))
        s.timeWarn = timeWarn;
    readInto(store, "Port", s.port);
    readInto(store, "Alg1", s.alg1);
    readInto(store, "Alg2", s.alg2);
    int oneLuch = s.oneLuch ? 1 : 0;
    readInto(store, "OneLuch", oneLuch);
    s.oneLuch = oneLuch != 0;
    readInto(store, "LockStopTime", s.lockStopTime);
    s.webAddress = store.value(QStringLiteral("WebAddress"), s.webAddress).toString();
    if (const auto livePort = readNumber(store, "LivePort"); livePort && *livePort >= 0 && *livePort <= 65535)
        s.livePort = *livePort;
    s.liveBind = store.value(QStringLiteral("LiveBind")).toString().trimmed();
    s.bediener = store.value(QStringLiteral("Bediener")).toString().trimmed();
    s.publishUrl = store.value(QStringLiteral("PublishUrl")).toString().trimmed();
    readInto(store, "PublishInterval", s.publishInterval);
    s.publishInterval = std::clamp(s.publishInterval, MinPublishInterval, MaxPublishInterval);
    int allowPlain = 0;
    readInto(store, "PublishAllowPlain", allowPlain);
    s.publishAllowPlain = allowPlain != 0;
    s.publishKey = store.value(QStringLiteral("PublishKey")).toString().trimmed();
    int publishOn = 0;
    readInto(store, "PublishOn", publishOn);
    s.publishOn = publishOn != 0;

    // Race times always carry two decimals, whatever was stored.
    s.acc = 2;
    s.autos = std::clamp(s.autos, 1, 20);
    s.lockStopTime = std::clamp(s.lockStopTime, 1, 999);
    s.width = std::max(s.width, 1024);
    if (s.time < 0)
        s.time = ProgramSettings().time;
    return s;
}

QString ProgramSettings::operatorName() const
{
    if (!bediener.isEmpty())
        return bediener;
    for (const char *variable : {"USER", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(variable);
        if (!user.isEmpty())
            return user;
    }
    // Started without a login environment (a service, a container): the account itself.
    passwd entry{};
    passwd *found = nullptr;
    std::array<char, 1024> buffer{};
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return {};
}

QString ProgramSettings::publishKeyFile(const QString &home) const
{
    if (!publishKey.isEmpty()) {
        // "~/" as a shell would read it: the setting is typed by hand.
        if (publishKey.startsWith(QStringLiteral("~/")))
            return home + publishKey.mid(1);
        return publishKey;
    }
    for (const char *name : {"id_ed25519", "id_rsa"}) {
        const QString path = home + QStringLiteral("/.ssh/") + QLatin1String(name);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

void ProgramSettings::writePublishOn(QSettings &store, bool on)
{
    store.setValue(QStringLiteral("PublishOn"), on ? 1 : 0);
    store.sync();
}

void ProgramSettings::write(QSettings &store) const
{
    store.setValue(QStringLiteral("Left"), left.value_or(0));
    store.setValue(QStringLiteral("Top"), top.value_or(0));
    store.setValue(QStringLiteral("Width"), width);
    store.setValue(QStringLiteral("Height"), height);
    store.setValue(QStringLiteral("Acc"), 2);
    store.setValue(QStringLiteral("Autos"), autos);
    store.setValue(QStringLiteral("Time"), time);
    store.setValue(QStringLiteral("Title"), title);
    store.setValue(QStringLiteral("TimeWarn"), timeWarn);
    store.setValue(QStringLiteral("Port"), port);
    store.setValue(QStringLiteral("Alg1"), alg1);
    store.setValue(QStringLiteral("Alg2"), alg2);
    store.setValue(QStringLiteral("LockStopTime"), lockStopTime);
    store.setValue(QStringLiteral("OneLuch"), oneLuch ? 1 : 0);
    store.sync();
}

void ProgramSettings::applyTo(SessionSetup &setup) const
{
    setup.participantCount = autos;
    setup.durationSeconds = time;
    setup.title = title;
    setup.warnText = timeWarn;
    setup.barriers = {.startPnp = alg1 == 1, .finishPnp = alg2 == 1, .oneBarrier = oneLuch,
                      .lockStopSeconds = BarrierSettings::ClampLockStop(lockStopTime),
                      .startUnknown = alg1 != 0 && alg1 != 1, .finishUnknown = alg2 != 0 && alg2 != 1};
}

void ProgramSettings::takeFrom(const SessionSetup &setup)
{
    autos = setup.participantCount;
    time = setup.durationSeconds;
    title = setup.title;
    timeWarn = setup.warnText;
    const BarrierSettings &b = setup.barriers;
    if (!b.startUnknown)
        alg1 = b.startPnp ? 1 : 0;
    if (!b.finishUnknown)
        alg2 = b.finishPnp ? 1 : 0;
    oneLuch = b.oneBarrier;
    lockStopTime = b.lockStopSeconds;
}
