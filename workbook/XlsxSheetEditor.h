#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <pugixml.hpp>

#include <cstdint>
#include <map>

class XlsxSharedStrings;
class XlsxStyles;

// Edits the cells of one worksheet part (xl/worksheets/sheetN.xml) of an .xlsx package in
// place, so that everything else the part holds (styles, widths, merges, print setup) stays.
class XlsxSheetEditor
{
public:
    // Parses the part; false when it is no worksheet. sharedStrings is the package's string
    // table: it tells what a cell holds, and takes the strings written; styles gives written
    // durations their number format; decimalSeparator is the one they show.
    bool load(const QByteArray &xml, XlsxSharedStrings *sharedStrings, XlsxStyles *styles, QChar decimalSeparator);
    // The edited part.
    QByteArray save();

    // Brings the cell at (row, column), counted from 1, to value: a QString, a number, a bool, a
    // CellError, a CellDuration, or invalid (or an empty text) for empty. A cell that already holds
    // the value is left as it is (a formula giving that value too); otherwise the value replaces what
    // was there, formula included, and the cell keeps its style (a duration in a cell without a number
    // format of its own gets the duration's). A shared formula anchored in the cell is first written
    // out as plain formulas into the other cells that share it.
    void setCell(int row, int column, const QVariant &value);

    // Takes the stored results out of every formula cell, so that the spreadsheet program
    // calculates them on opening; returns how many there were.
    int dropFormulaResults();

    // A worksheet part with no cells, for a sheet the template does not have.
    static QByteArray emptyPart();

private:
    pugi::xml_node row(int number, bool create);
    pugi::xml_node cell(pugi::xml_node rowNode, int row, int column, bool create);
    bool holds(pugi::xml_node cellNode, const QVariant &value) const;
    int columnStyle(int column) const;
    void clearContent(pugi::xml_node cellNode);
    void expandSharedFormula(pugi::xml_node anchor, pugi::xml_node formula);
    void writeDuration(pugi::xml_node cellNode, std::int32_t ms);
    void updateDimension();
    QString tag(const char *localName) const;

    pugi::xml_document mDocument;
    // The worksheet namespace's prefix with its colon ("" for the usual default namespace).
    QString mPrefix;
    pugi::xml_node mSheetData;
    std::map<int, pugi::xml_node> mRows;
    XlsxSharedStrings *mSharedStrings = nullptr;
    XlsxStyles *mStyles = nullptr;
    QChar mDecimalSeparator = QLatin1Char(',');
    // The area of the cells written, to widen the part's dimension (0 while none).
    int mTop = 0, mLeft = 0, mBottom = 0, mRight = 0;
};
