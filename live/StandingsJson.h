#pragma once

#include <QByteArray>
#include <QString>

struct ResultsSnapshot;

// The standings as the live page's clients read them: title, session type, date, state,
// remaining time, the result columns' titles, per row the result columns' texts, the
// participant's lap times (ms) and whether the participant has finished, is out or had laps
// corrected; and the corrections in effect, oldest first (an empty list without any).
namespace StandingsJson {
// Without laps, the rows carry no lap times: what the page shows, a fraction of the bytes
// that every open page is sent on each change.
enum class Laps { Included, Left };
QByteArray of(const ResultsSnapshot &results, const QString &date, Laps laps = Laps::Included);
} // namespace StandingsJson
