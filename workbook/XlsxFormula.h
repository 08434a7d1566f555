#pragma once

#include <QString>

// Formula texts as an .xlsx part stores them (A1 references, no leading "=").
namespace XlsxFormula {

// The formula as it reads in a cell rows down and columns right of its own: relative cell,
// column and row references move, absolute ($) parts stay; a reference moved off the sheet
// becomes #REF!. Strings, sheet names, function names and [bracketed] parts are kept. This
// turns a shared formula into the plain one each of its cells holds.
QString shifted(const QString &formula, int rows, int columns);

} // namespace XlsxFormula
