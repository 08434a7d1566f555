#pragma once

#include "workbook/ReadStatus.h"

#include <QByteArray>

class CellCollector;

// The cells orcus 0.17 does not hand over as the spreadsheet shows them, read straight from the
// package's XML after orcus has read it: inline strings, error values, formula results and
// empty shared strings of .xlsx sheets; texts of several paragraphs, runs of spaces, error values
// and formula texts of .ods sheets. Formula cells saved without a result are noted as such.
namespace PackageCells {

// The sheets are taken in the workbook's order, the order orcus appended them to the collector.
ReadStatus readOfficeOpenXml(const QByteArray &bytes, CellCollector &cells);
ReadStatus readOpenDocument(const QByteArray &bytes, CellCollector &cells);

}
