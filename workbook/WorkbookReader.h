#pragma once

#include "workbook/Workbook.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

// Reads a spreadsheet file into memory: .xls/.xlt, .xlsx/.xltx, .ods and .csv, told apart by
// their contents (a file saved under the wrong extension still opens).
//
// The .xls and zipped formats are read by outside libraries that can crash, abort or run away
// on a broken file; they are read by the helper program chronolauf-sheetreader, so that a bad
// file only fails its own read and never takes the timing down.
namespace WorkbookReader {

// Either the workbook, or the German message saying why the file cannot be used.
struct Result
{
    std::optional<Workbook> workbook;
    QString error;
};

// How long the helper program may read before it is stopped: far longer than any list takes.
inline constexpr std::chrono::milliseconds DefaultTimeout{30'000};

// All worksheets in order with their cell values; never throws or crashes on a bad file.
// Blocks until the read ends: call it from a worker thread (it needs no event loop).
Result read(const QString &path);
// The same with another limit for the helper program (a stuck read ends after it).
Result read(const QString &path, std::chrono::milliseconds timeout);

// Reads with the libraries inside this process: the helper program's work. A crash in a
// library takes this process with it.
Result readInProcess(const QString &path);

// The result as the helper program hands it to the program: versioned, filled cells only.
QByteArray encode(const Result &result);
// The helper's output back as a result; output that is cut short, malformed or beyond the
// memory budget gives "Die Datei ist beschädigt".
Result decode(const QByteArray &bytes);

}
