#pragma once

#include <QStringList>

class QTextStream;

// `chronolauf --replay JOURNAL [--html FILE] [--xlsx FILE]`: runs a journal without a window
// and writes the results page and/or the workbook, for audits and results after the fact.
namespace Replay {

// True when the arguments ask for a replay (the program then starts no window).
bool Requested(const QStringList &arguments);

// Runs it; 0 when everything asked for was written, 2 when the journal cannot be read or the
// arguments are wrong, 1 when a file cannot be written. Messages go to err.
int Run(const QStringList &arguments, const QString &webAddress, QTextStream &err);

} // namespace Replay
