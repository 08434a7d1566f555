#include "live/StandingsJson.h"

#include "core/CorrectionText.h"
#include "core/RaceTable.h"
#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <array>
#include <cstdint>
#include <utility>

namespace StandingsJson {
namespace {

const char *stateName(SessionState state)
{
    switch (state) {
    case SessionState::Running: return "running";
    case SessionState::Ended: return "ended";
    case SessionState::Idle: break;
    }
    return "idle";
}

// One correction in effect, its texts as the trail shows them. Participants go by their key
// labels ("3", "F2"), as the operator named them; toParticipant and newLap only for a move.
QJsonObject correction(const Correction &c, QChar decimalSeparator)
{
    // The trail's row: "Uhrzeit" (the wall clock) first, "Rennzeit" (when it was made) second.
    const QStringList cells = CorrectionText::cells(c, decimalSeparator);
    QJsonObject object{
        {QStringLiteral("action"), CorrectionText::action(c.action)},
        {QStringLiteral("participant"), KeyLabel(c.participant)},
        {QStringLiteral("lap"), c.lap},
        {QStringLiteral("passTime"), TimeText::FormatRaceTime(c.passTime, decimalSeparator)},
        {QStringLiteral("madeAt"), cells[1]},
        {QStringLiteral("wallClock"), cells[0]},
        {QStringLiteral("operator"), c.operatorName},
        {QStringLiteral("reason"), c.reason},
    };
    if (c.action == Correction::Action::Move) {
        object.insert(QStringLiteral("toParticipant"), KeyLabel(c.toParticipant));
        object.insert(QStringLiteral("newLap"), c.newLap);
    }
    return object;
}

QJsonArray resultCells(const ResultsSnapshot::Cells &cells)
{
    QJsonArray array;
    for (const int column : ResultColumns)
        array.append(cells[column]);
    return array;
}

// QJsonDocument writes '<', '>', '&' and the line and paragraph separators as they are. The
// JSON also sits inside a script element of the live page, where "</script>" in a name would
// end it, and older script engines took U+2028/U+2029 for line ends: escaped here. Outside
// strings JSON has none of these, so replacing them everywhere touches only texts.
void escapeForScript(QByteArray &json)
{
    static const std::array<std::pair<QByteArrayView, QByteArrayView>, 5> escapes{{
        {"<", "\\u003c"},
        {">", "\\u003e"},
        {"&", "\\u0026"},
        {"\xE2\x80\xA8", "\\u2028"},
        {"\xE2\x80\xA9", "\\u2029"},
    }};
    // Names rarely hold any of them: a byte search first spares the pattern search.
    for (const auto &[raw, escaped] : escapes) {
        if (json.contains(raw.front()))
            json.replace(raw, escaped);
    }
}

} // namespace

QByteArray of(const ResultsSnapshot &results, const QString &date, Laps laps)
{
    QJsonArray rows;
    for (const ResultsSnapshot::Row &row : results.rows) {
        QJsonObject object{
            {QStringLiteral("participant"), row.participant},
            {QStringLiteral("cells"), resultCells(row.cells)},
            {QStringLiteral("finished"), row.finished},
            {QStringLiteral("out"), row.out},
            {QStringLiteral("corrected"), row.corrected},
        };
        if (laps == Laps::Included) {
            QJsonArray times;
            for (const std::int32_t time : row.lapTimes)
                times.append(time);
            object.insert(QStringLiteral("laps"), times);
        }
        rows.append(object);
    }
    // Always there, empty without corrections, so that a client needs no test for it.
    QJsonArray corrections;
    for (const Correction &c : results.corrections)
        corrections.append(correction(c, results.decimalSeparator));

    const QJsonObject standings{
        {QStringLiteral("title"), results.title},
        {QStringLiteral("type"), results.sessionType},
        {QStringLiteral("date"), date},
        {QStringLiteral("state"), QLatin1String(stateName(results.state))},
        {QStringLiteral("remaining"), results.remainingText},
        {QStringLiteral("remainingSeconds"), results.remainingSeconds},
        {QStringLiteral("gong"), results.gong},
        {QStringLiteral("leaderLaps"), results.leaderLaps},
        {QStringLiteral("decimalSeparator"), QString(results.decimalSeparator)},
        {QStringLiteral("columns"), resultCells(results.columnTitles)},
        {QStringLiteral("rows"), rows},
        {QStringLiteral("corrections"), corrections},
    };
    QByteArray json = QJsonDocument(standings).toJson(QJsonDocument::Compact);
    escapeForScript(json);
    return json;
}

} // namespace StandingsJson
