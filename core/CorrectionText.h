#pragma once

#include "core/Correction.h"

#include <QChar>
#include <QString>
#include <QStringList>

#include <cstdint>

// The texts of corrections and booked passes wherever they are shown: the corrections
// window, its trail, the results page, the workbook and the live standings.
namespace CorrectionText {

// "Streichen", "Wiederherstellen", "Umbuchen", "Nachtragen": the buttons' texts.
QString action(Correction::Action action);
// "Taste", "Lichtschranke", "Nachgetragen".
QString source(PassSource source);
// The "Hinweis" of a listed pass: "gestrichen", or its hints ("kurz", "lang", "doppelt?").
QString hints(std::uint8_t flags, bool struck);

// The columns of a correction in the trail and the results.
const QStringList &ColumnTitles();
// One correction as a row under ColumnTitles(); the wall clock in local time.
QStringList cells(const Correction &correction, QChar decimalSeparator);

} // namespace CorrectionText
