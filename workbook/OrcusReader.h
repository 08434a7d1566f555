#pragma once

#include "workbook/ReadStatus.h"
#include "workbook/Workbook.h"

#include <QByteArray>

// Reads the zipped XML workbooks (.xlsx, .xltx, .ods, .ots) with orcus.
namespace OrcusReader {

// The zipped formats orcus reads for us.
enum class Format { OfficeOpenXml, OpenDocument };

// Which of the formats a ZIP package holds, from its contents; false when it is neither.
bool detect(const QByteArray &bytes, Format &format);

// Fills the workbook's sheets with every worksheet of the package, in order.
ReadStatus read(const QByteArray &bytes, Format format, Workbook &workbook);

}
