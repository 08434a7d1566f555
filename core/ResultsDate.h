#pragma once

#include <QString>

class QDate;
class QLocale;

// The date on the results page, in the results workbook and on the live page: the locale's
// short date, but always with the full year, so a printed page stays unambiguous for years.
QString ResultsDate(const QDate &date, const QLocale &locale);

// A date format whose two-digit year fields are widened to four digits; quoted text stays as written.
QString FourDigitYearFormat(const QString &format);
