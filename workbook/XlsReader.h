#pragma once

#include "workbook/ReadStatus.h"
#include "workbook/Workbook.h"

#include <QString>

// Reads the legacy binary workbooks (.xls, .xlt) with FreeXL.
namespace XlsReader {

// Fills the workbook's sheets with every worksheet of the file, in order.
ReadStatus read(const QString &path, Workbook &workbook);

}
