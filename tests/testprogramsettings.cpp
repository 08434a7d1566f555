#include "settings/ProgramSettings.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

// The settings of the last run: each value read on its own, written back in full.
class TestProgramSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A new file for every store: QSettings caches what it read per file.
    int files = 0;
    QString file() const { return dir.filePath(QStringLiteral("Chronolauf-%1.conf").arg(files)); }

    // A store holding exactly these key=value lines.
    std::unique_ptr<QSettings> storeWith(const QStringList &lines)
    {
        ++files;
        QFile out(file());
        if (!out.open(QIODevice::WriteOnly))
            return nullptr;
        out.write("[General]\n");
        for (const QString &line : lines)
            out.write(line.toUtf8() + '\n');
        out.close();
        return std::make_unique<QSettings>(file(), QSettings::IniFormat);
    }

    static QStringList allValues()
    {
        return {"Left=40", "Top=30", "Width=1100", "Height=700", "Acc=3", "Autos=12", "Time=3600",
                "Title=24h Lauf", "TimeWarn=01:30", "Port=3", "Alg1=1", "Alg2=1", "OneLuch=0", "LockStopTime=45"};
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void firstRunDefaults()
    {
        auto store = storeWith({});
        const ProgramSettings s = ProgramSettings::read(*store);
        QVERIFY(!s.left && !s.top);
        QCOMPARE(s.width, 1024);
        QCOMPARE(s.acc, 2);
        QCOMPARE(s.autos, 20);
        QCOMPARE(s.time, 14400);
        QCOMPARE(s.title, QStringLiteral("Circuit de Monaco, Monte Carlo"));
        QCOMPARE(s.timeWarn, QStringLiteral("00:30"));
        QCOMPARE(s.port, 0);
        QCOMPARE(s.alg1, 0);
        QCOMPARE(s.alg2, 0);
        QCOMPARE(s.oneLuch, true);
        QCOMPARE(s.lockStopTime, 20);
        QCOMPARE(s.webAddress, QStringLiteral("https://www.chronolauf.example/"));
    }

    void everyValueApplies()
    {
        auto store = storeWith(allValues());
        const ProgramSettings s = ProgramSettings::read(*store);
        QCOMPARE(s.left.value_or(-1), 40);
        QCOMPARE(s.top.value_or(-1), 30);
        QCOMPARE(s.width, 1100);
        QCOMPARE(s.height, 700);
        QCOMPARE(s.acc, 2); // always two decimals
        QCOMPARE(s.autos, 12);
        QCOMPARE(s.time, 3600);
        QCOMPARE(s.title, QStringLiteral("24h Lauf"));
        QCOMPARE(s.timeWarn, QStringLiteral("01:30"));
        QCOMPARE(s.port, 3);
        QCOMPARE(s.alg1, 1);
        QCOMPARE(s.alg2, 1);
        QCOMPARE(s.oneLuch, false);
        QCOMPARE(s.lockStopTime, 45);
    }

    void oneBadValueKeepsOnlyItsDefault_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored"); // empty: the line is missing
        QTest::newRow("Left missing") << "Left" << "";
        QTest::newRow("Left not a number") << "Left" << "links";
        QTest::newRow("Autos a fraction") << "Autos" << "7.5";
        QTest::newRow("Time too large") << "Time" << "99999999999";
        QTest::newRow("Time negative") << "Time" << "-60";
        QTest::newRow("Port missing") << "Port" << "";
        QTest::newRow("LockStopTime text") << "LockStopTime" << "zwanzig";
    }

    void oneBadValueKeepsOnlyItsDefault()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QStringList lines;
        for (const QString &line : allValues()) {
            if (!line.startsWith(key + QLatin1Char('=')))
                lines << line;
            else if (!stored.isEmpty())
                lines << key + QLatin1Char('=') + stored;
        }
        auto store = storeWith(lines);
        const ProgramSettings s = ProgramSettings::read(*store);
        const ProgramSettings defaults;
        QCOMPARE(s.left.has_value(), key != QLatin1String("Left"));
        QCOMPARE(s.autos, key == QLatin1String("Autos") ? defaults.autos : 12);
        QCOMPARE(s.time, key == QLatin1String("Time") ? defaults.time : 3600);
        QCOMPARE(s.port, key == QLatin1String("Port") ? defaults.port : 3);
        QCOMPARE(s.lockStopTime, key == QLatin1String("LockStopTime") ? defaults.lockStopTime : 45);
        // Everything after the bad value still counts.
        QCOMPARE(s.title, QStringLiteral("24h Lauf"));
        QCOMPARE(s.oneLuch, false);
        QCOMPARE(s.alg2, 1);
    }

    // A missing title keeps the default, a stored empty one stays empty; a warning time
    // without both digit pairs keeps "00:30".
    void texts_data()
    {
        QTest::addColumn<QString>("replaced");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("timeWarn");
        const QString title = QStringLiteral("24h Lauf");
        const QString defaultTitle = ProgramSettings().title;
        QTest::newRow("no title") << "Title=" << QString() << defaultTitle << "01:30";
        QTest::newRow("empty title") << "Title=" << "Title=" << QString() << "01:30";
        QTest::newRow("no warning time") << "TimeWarn=" << QString() << title << "00:30";
        QTest::newRow("colon only") << "TimeWarn=" << "TimeWarn=:" << title << "00:30";
        QTest::newRow("one pair") << "TimeWarn=" << "TimeWarn=1:" << title << "00:30";
        QTest::newRow("letters") << "TimeWarn=" << "TimeWarn=ab:cd" << title << "00:30";
        QTest::newRow("a number") << "TimeWarn=" << "TimeWarn=90" << title << "00:30";
        QTest::newRow("complete") << "TimeWarn=" << "TimeWarn=02:15" << title << "02:15";
    }

    void texts()
    {
        QFETCH(QString, replaced);
        QFETCH(QString, line);
        QStringList lines = allValues();
        lines.removeIf([&](const QString &l) { return l.startsWith(replaced); });
        if (!line.isEmpty())
            lines << line;
        auto store = storeWith(lines);
        const ProgramSettings s = ProgramSettings::read(*store);
        QTEST(s.title, "title");
        QTEST(s.timeWarn, "timeWarn");
    }

    void clamping_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("autos");
        QTest::addColumn<int>("lockStopTime");
        QTest::addColumn<int>("width");
        QTest::newRow("Autos 0") << "Autos=0" << 1 << 20 << 1024;
        QTest::newRow("Autos 7") << "Autos=7" << 7 << 20 << 1024;
        QTest::newRow("Autos 25") << "Autos=25" << 20 << 20 << 1024;
        QTest::newRow("lock time 0") << "LockStopTime=0" << 20 << 1 << 1024;
        QTest::newRow("lock time 5000") << "LockStopTime=5000" << 20 << 999 << 1024;
        QTest::newRow("narrow window") << "Width=800" << 20 << 20 << 1024;
    }

    void clamping()
    {
        QFETCH(QString, line);
        auto store = storeWith({line});
        const ProgramSettings s = ProgramSettings::read(*store);
        QTEST(s.autos, "autos");
        QTEST(s.lockStopTime, "lockStopTime");
        QTEST(s.width, "width");
    }

    void roundTrip()
    {
        ProgramSettings s;
        s.left = 12;
        s.top = 34;
        s.width = 1280;
        s.height = 720;
        s.autos = 9;
        s.time = 86400;
        s.title = QStringLiteral("Ärger & <Co> \"24\"");
        s.timeWarn = QStringLiteral("02:15");
        s.port = 5;
        s.alg1 = 1;
        s.oneLuch = false;
        s.lockStopTime = 999;
        auto store = storeWith({});
        s.write(*store);
        store.reset();
        QSettings reopened(file(), QSettings::IniFormat);
        const ProgramSettings r = ProgramSettings::read(reopened);
        QCOMPARE(r.left, s.left);
        QCOMPARE(r.top, s.top);
        QCOMPARE(r.width, s.width);
        QCOMPARE(r.height, s.height);
        QCOMPARE(r.autos, s.autos);
        QCOMPARE(r.time, s.time);
        QCOMPARE(r.title, s.title);
        QCOMPARE(r.timeWarn, s.timeWarn);
        QCOMPARE(r.port, s.port);
        QCOMPARE(r.alg1, s.alg1);
        QCOMPARE(r.alg2, s.alg2);
        QCOMPARE(r.oneLuch, s.oneLuch);
        QCOMPARE(r.lockStopTime, s.lockStopTime);
    }

    void writesTheFourteenValues()
    {
        auto store = storeWith({});
        ProgramSettings().write(*store);
        QStringList keys = store->allKeys();
        keys.sort();
        QStringList expected{"Acc", "Alg1", "Alg2", "Autos", "Height", "Left", "LockStopTime",
                             "OneLuch", "Port", "Time", "TimeWarn", "Title", "Top", "Width"};
        expected.sort();
        QCOMPARE(keys, expected);
        QCOMPARE(store->value(QStringLiteral("Acc")).toInt(), 2);
    }

    void webAddressIsConfigurable()
    {
        auto store = storeWith({"WebAddress=https://verein.example.org/"});
        QCOMPARE(ProgramSettings::read(*store).webAddress, QStringLiteral("https://verein.example.org/"));
    }

    void operatorName_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("logname");
        QTest::addColumn<QString>("name");
        QTest::newRow("set") << QStringList{"Bediener=Jutta Weiß"} << QByteArray("jw") << QByteArray("x") << QStringLiteral("Jutta Weiß");
        QTest::newRow("missing: USER") << QStringList{"Port=0"} << QByteArray("jw") << QByteArray("x") << QStringLiteral("jw");
        QTest::newRow("blank: LOGNAME") << QStringList{"Bediener=  "} << QByteArray() << QByteArray("lw") << QStringLiteral("lw");
        QTest::newRow("no login environment: the account") << QStringList{} << QByteArray() << QByteArray()
                                                            << QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
    }

    void operatorName()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, logname);
        QFETCH(QString, name);
        const QByteArray oldUser = qgetenv("USER");
        const QByteArray oldLogname = qgetenv("LOGNAME");
        if (user.isEmpty())
            qunsetenv("USER");
        else
            qputenv("USER", user);
        if (logname.isEmpty())
            qunsetenv("LOGNAME");
        else
            qputenv("LOGNAME", logname);
        auto store = storeWith(lines);
        const QString read = ProgramSettings::read(*store).operatorName();
        qputenv("USER", oldUser);
        qputenv("LOGNAME", oldLogname);
        QCOMPARE(read, name);
    }

    void livePort_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("port");
        QTest::newRow("missing") << QByteArray() << 8080;
        QTest::newRow("set") << QByteArray("LivePort=8123") << 8123;
        QTest::newRow("zero: any free port") << QByteArray("LivePort=0") << 0;
        QTest::newRow("negative") << QByteArray("LivePort=-1") << 8080;
        QTest::newRow("too large") << QByteArray("LivePort=65536") << 8080;
        QTest::newRow("not a number") << QByteArray("LivePort=http") << 8080;
    }

    void livePort()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, port);
        auto store = storeWith({QStringLiteral("Title=x"), QString::fromLatin1(line)});
        QCOMPARE(ProgramSettings::read(*store).livePort, port);
    }

    // Taken as written (trimmed); whether it is an address of this machine is for the
    // server to say when it starts.
    void liveBind_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("bind");
        QTest::newRow("missing: every address") << QByteArray() << QString();
        QTest::newRow("empty: every address") << QByteArray("LiveBind=") << QString();
        QTest::newRow("IPv4") << QByteArray("LiveBind=192.168.1.20") << QStringLiteral("192.168.1.20");
        QTest::newRow("spaces around") << QByteArray("LiveBind= 10.0.0.5 ") << QStringLiteral("10.0.0.5");
        QTest::newRow("IPv6") << QByteArray("LiveBind=\"fd00::1\"") << QStringLiteral("fd00::1");
    }

    void liveBind()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, bind);
        auto store = storeWith({QStringLiteral("Title=x"), QString::fromLatin1(line)});
        QCOMPARE(ProgramSettings::read(*store).liveBind, bind);
    }

    void publishing_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("allowPlain");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("on");
        QTest::newRow("missing: off") << QStringList{"Title=x"} << QString() << 10 << false << QString() << false;
        QTest::newRow("sftp target") << QStringList{"PublishUrl=sftp://lauf@web.example/htdocs/live/", "PublishInterval=30"}
                                     << "sftp://lauf@web.example/htdocs/live/" << 30 << false << QString() << false;
        QTest::newRow("url trimmed") << QStringList{"PublishUrl=\"  https://dav.example/live/  \""}
                                     << "https://dav.example/live/" << 10 << false << QString() << false;
        QTest::newRow("interval too short") << QStringList{"PublishInterval=1"} << QString() << 2 << false << QString() << false;
        QTest::newRow("interval zero") << QStringList{"PublishInterval=0"} << QString() << 2 << false << QString() << false;
        QTest::newRow("interval too long") << QStringList{"PublishInterval=3600"} << QString() << 600 << false << QString() << false;
        QTest::newRow("interval at the top") << QStringList{"PublishInterval=600"} << QString() << 600 << false << QString() << false;
        QTest::newRow("interval not a number") << QStringList{"PublishInterval=oft"} << QString() << 10 << false << QString() << false;
        QTest::newRow("plain allowed") << QStringList{"PublishAllowPlain=1"} << QString() << 10 << true << QString() << false;
        QTest::newRow("plain not a number") << QStringList{"PublishAllowPlain=ja"} << QString() << 10 << false << QString() << false;
        QTest::newRow("key file") << QStringList{"PublishKey=/home/lauf/.ssh/web"} << QString() << 10 << false
                                  << "/home/lauf/.ssh/web" << false;
        QTest::newRow("left on") << QStringList{"PublishOn=1"} << QString() << 10 << false << QString() << true;
        QTest::newRow("switched off") << QStringList{"PublishOn=0"} << QString() << 10 << false << QString() << false;
        QTest::newRow("on not a number") << QStringList{"PublishOn=an"} << QString() << 10 << false << QString() << false;
    }

    void publishing()
    {
        QFETCH(QStringList, lines);
        auto store = storeWith(lines);
        const ProgramSettings s = ProgramSettings::read(*store);
        QTEST(s.publishUrl, "url");
        QTEST(s.publishInterval, "interval");
        QTEST(s.publishAllowPlain, "allowPlain");
        QTEST(s.publishKey, "key");
        QTEST(s.publishOn, "on");
    }

    // The switch is written on its own when toggled; the full write at the close keeps it,
    // and none of the read-only publishing values is ever written.
    void publishOnIsWrittenWhenToggled()
    {
        auto store = storeWith({"PublishUrl=sftp://a@b/c/", "Title=x"});
        ProgramSettings::writePublishOn(*store, true);
        QCOMPARE(store->value(QStringLiteral("PublishOn")).toInt(), 1);
        ProgramSettings loaded = ProgramSettings::read(*store);
        QVERIFY(loaded.publishOn);
        loaded.publishOn = false; // a stale copy must not switch it off at the close
        loaded.write(*store);
        store.reset();
        QSettings reopened(file(), QSettings::IniFormat);
        QCOMPARE(ProgramSettings::read(reopened).publishOn, true);
        QCOMPARE(reopened.value(QStringLiteral("PublishUrl")).toString(), QStringLiteral("sftp://a@b/c/"));
        ProgramSettings::writePublishOn(reopened, false);
        QCOMPARE(ProgramSettings::read(reopened).publishOn, false);

        auto empty = storeWith({});
        ProgramSettings().write(*empty);
        for (const QString &key : empty->allKeys())
            QVERIFY2(!key.startsWith(QStringLiteral("Publish")), qPrintable(key));
    }

    void publishKeyFile_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("present"); // files in ~/.ssh
        QTest::addColumn<QString>("expected");    // relative to the home folder, or absolute
        QTest::newRow("none: the agent") << QString() << QStringList{} << QString();
        QTest::newRow("ed25519 first") << QString() << QStringList{"id_rsa", "id_ed25519"} << "/.ssh/id_ed25519";
        QTest::newRow("then rsa") << QString() << QStringList{"id_rsa"} << "/.ssh/id_rsa";
        QTest::newRow("set: as it is") << "/srv/keys/web" << QStringList{"id_ed25519"} << "/srv/keys/web";
        QTest::newRow("set with ~") << "~/.ssh/web" << QStringList{} << "/.ssh/web";
    }

    void publishKeyFile()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, present);
        QFETCH(QString, expected);
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral(".ssh")));
        for (const QString &name : present) {
            QFile key(home.filePath(QStringLiteral(".ssh/") + name));
            QVERIFY(key.open(QIODevice::WriteOnly));
        }
        ProgramSettings s;
        s.publishKey = setting;
        const QString resolved = s.publishKeyFile(home.path());
        if (expected.isEmpty() || !expected.startsWith(QStringLiteral("/.ssh")))
            QCOMPARE(resolved, expected);
        else
            QCOMPARE(resolved, home.path() + expected);
    }
};

QTEST_GUILESS_MAIN(TestProgramSettings)
#include "testprogramsettings.moc"
