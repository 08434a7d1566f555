#include "core/CorrectionText.h"

#include "core/LapBook.h"
#include "core/RaceTable.h"
#include "core/TimeText.h"

#include <QDateTime>

namespace CorrectionText {

QString action(Correction::Action action)
{
    switch (action) {
    case Correction::Action::Strike: return QStringLiteral("Streichen");
    case Correction::Action::Restore: return QStringLiteral("Wiederherstellen");
    case Correction::Action::Move: return QStringLiteral("Umbuchen");
    case Correction::Action::Insert: return QStringLiteral("Nachtragen");
    }
    return {};
}

QString source(PassSource source)
{
    switch (source) {
    case PassSource::Key: return QStringLiteral("Taste");
    case PassSource::Barrier: return QStringLiteral("Lichtschranke");
    case PassSource::Inserted: return QStringLiteral("Nachgetragen");
    }
    return {};
}

QString hints(std::uint8_t flags, bool struck)
{
    if (struck)
        return QStringLiteral("gestrichen");
    QStringList words;
    if (flags & LapBook::Short)
        words << QStringLiteral("kurz");
    if (flags & LapBook::Long)
        words << QStringLiteral("lang");
    if (flags & LapBook::Double)
        words << QStringLiteral("doppelt?");
    return words.join(QStringLiteral(", "));
}

const QStringList &ColumnTitles()
{
    static const QStringList titles{QStringLiteral("Uhrzeit"), QStringLiteral("Rennzeit"), QStringLiteral("Bediener"),
                                    QStringLiteral("Aktion"),  QStringLiteral("Teilnehmer"), QStringLiteral("Runde"),
                                    QStringLiteral("Alt"),     QStringLiteral("Neu"),      QStringLiteral("Grund")};
    return titles;
}

QStringList cells(const Correction &c, QChar decimalSeparator)
{
    const QString passTime = TimeText::FormatRaceTime(c.passTime, decimalSeparator);
    const QString struck = QStringLiteral("gestrichen");
    QString participants = KeyLabel(c.participant);
    QString lap = c.lap > 0 ? QString::number(c.lap) : QString();
    QString oldValue;
    QString newValue;
    switch (c.action) {
    case Correction::Action::Strike:
        oldValue = passTime;
        newValue = struck;
        break;
    case Correction::Action::Restore:
        oldValue = struck;
        newValue = passTime;
        break;
    case Correction::Action::Move:
        participants += QStringLiteral(" → ") + KeyLabel(c.toParticipant);
        lap += QStringLiteral(" → ") + QString::number(c.newLap);
        oldValue = KeyLabel(c.participant) + QStringLiteral(", ") + passTime;
        newValue = KeyLabel(c.toParticipant) + QStringLiteral(", ") + passTime;
        break;
    case Correction::Action::Insert: newValue = passTime; break;
    }
    const QString wallClock = QDateTime::fromMSecsSinceEpoch(c.wallClockMs).toString(QStringLiteral("HH:mm:ss"));
    return {wallClock, TimeText::FormatRaceTime(c.madeAt, decimalSeparator), c.operatorName, action(c.action),
            participants, lap, oldValue, newValue, c.reason};
}

} // namespace CorrectionText
