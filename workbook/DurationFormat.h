#pragma once

#include <QChar>
#include <QString>

#include <cstdint>

// How a race or lap time is stored in a workbook: as a duration (a fraction of a day) whose
// number format shows exactly the grid's text, "1:02,34" below an hour, "1:02:03,45" from one.
namespace DurationFormat {

// True when a time can be a duration: a negative one shows as "####" in Excel, and the
// grid's hours wrap at 100 where a format's [h] does not.
bool fits(std::int32_t ms);

// The cell value: the time cut to the hundredths the grid shows, as a fraction of a day, so
// that rounding in the spreadsheet can never show another hundredth.
double days(std::int32_t ms);

// The number-format code for the time. The locale tag fixes the decimal separator to the
// program's, in LibreOffice whatever its own locale ("[$-407]" shows "," and "[$-409]" ".");
// Excel shows its own system's separator.
QString code(std::int32_t ms, QChar decimalSeparator);

} // namespace DurationFormat
