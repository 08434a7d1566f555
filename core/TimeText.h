#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The text forms of times. Race times carry the locale's decimal separator; the
// other separators are always ':'. Parsers never fail on a malformed field: it counts as 0.
namespace TimeText {

// M:SS,cc below one hour, H:MM:SS,cc from one hour; hours wrap at 100.
// A negative duration is written as '-' followed by the form of its absolute value.
QString FormatRaceTime(std::int32_t ms, QChar decimalSeparator);
std::int32_t ParseRaceTime(QStringView text);
// A race time as the operator types it: "1:02:03,45", "12:34,56", "12:34" ('.' or ',' before
// one to three decimals). Empty for anything else, and for minutes or seconds over 59.
std::optional<std::int32_t> ParseTypedRaceTime(QStringView text);

// MM:SS, both parts modulo 60.
QString FormatMinSec(std::int32_t ms);
std::int32_t ParseMinSec(QStringView text);

// HH:MM:SS; hours are not wrapped.
QString FormatClockSeconds(std::int32_t seconds);
// Digit runs read from the right as seconds, minutes, hours. Empty when a run or the
// sum does not fit a signed 32-bit number.
std::optional<std::int32_t> ParseClockSeconds(QStringView text);

} // namespace TimeText
