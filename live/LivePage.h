#pragma once

#include <QByteArray>
#include <QString>

struct ResultsSnapshot;

// The live standings page: one self-contained document (no external scripts, fonts or
// images) that shows the standings as they are when it is served, so that it reads without
// scripts, and keeps itself current from /events, or from /standings.json every second where
// events do not come through.
namespace LivePage {
QByteArray of(const ResultsSnapshot &results, const QString &date);
// The Content-Security-Policy the page is served with: its inline script and style allowed
// by their hashes, requests only back to this server.
const QByteArray &securityPolicy();
} // namespace LivePage
