#pragma once

#include <QByteArray>
#include <QString>

struct ResultsSnapshot;

// The standings as the live page's clients read them: title, session type, date, state,
// remaining time, the result columns' titles, and per row the result columns' texts, the
// participant's lap times (ms) and whether the participant has finished or is out.
namespace StandingsJson {
QByteArray of(const ResultsSnapshot &results, const QString &date);
} // namespace StandingsJson
