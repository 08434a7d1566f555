#pragma once

#include "workbook/ReadStatus.h"
#include "workbook/Workbook.h"

#include <QByteArray>
#include <QChar>
#include <QString>

// Reads comma separated values as written by spreadsheet applications: ";" (German), "," or
// tab between fields, fields in double quotes with doubled quotes inside, CR LF or LF.
namespace CsvReader {

// The file's text: UTF-8 (a byte order mark is dropped), or Windows-1252 when the bytes are
// not UTF-8 (older German exports).
QString decode(const QByteArray &bytes);

// The separator that splits the largest share of the first lines into the same number of
// fields (two or more); ";" on a tie.
QChar separator(const QString &text);

// Whether text is a table at all: readable characters only, and its first lines split into
// the same number (two or more) of fields. Decides for files that are not named .csv.
bool looksLikeTable(const QString &text);

// Fills the workbook with one worksheet of that name holding the text's records.
ReadStatus read(const QString &text, const QString &sheetName, Workbook &workbook);

}
