#pragma once

#include <QString>
#include <QStringList>

// Worksheet names as an .xlsx file accepts them. A spreadsheet application refuses a workbook
// whose names are too long, hold one of []:*?/\ or repeat another name, so every writer of
// this program passes its names through here first.
namespace XlsxSheetNames {

// The longest name a worksheet tab may carry, in characters.
inline constexpr int maxLength = 31;

// One valid name for each wanted name, in the same order, unique among themselves and
// against the names in taken (compared without case, as the application compares them).
// Forbidden characters become "_"; an empty name becomes "Tabelle<n>".
QStringList makeValid(const QStringList &wanted, const QStringList &taken = {});

} // namespace XlsxSheetNames
