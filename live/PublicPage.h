#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct ResultsSnapshot;

// The standings page on the web host (index.html): one self-contained document like the LAN
// page (no external scripts, fonts or images), with the standings it was made from, so that
// it reads without scripts. It re-reads standings.json beside it every few seconds and tells
// how old the data is, because a web host, unlike the LAN server, cannot push a change.
namespace PublicPage {
// How often the page asks for standings.json: 10,000 viewers make 2,000 requests a second.
constexpr int PollSeconds = 5;
// Data older than this is called out ("Keine neuen Daten seit ..."): the program uploads at
// most every 600 s, by default every 10 s, so a minute without news means it stopped.
constexpr int StaleSeconds = 60;

// madeAt: when the results were taken, the page's "Stand" until it first reads the JSON.
QByteArray of(const ResultsSnapshot &results, const QString &date, const QDateTime &madeAt);
} // namespace PublicPage
