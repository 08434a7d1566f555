#include "workbook/WorkbookWriter.h"

#include "workbook/SiblingTempFile.h"
#include "workbook/Workbook.h"
#include "workbook/XlsxNewWorkbook.h"
#include "workbook/XlsxPackageEditor.h"
#include "workbook/XlsxSheetNames.h"

#include <QDir>

namespace {

WorkbookWriter::Result failure(const QString &path, const QString &reason)
{
    return {false, QStringLiteral("Die Datei kann nicht geschrieben werden: %1 (%2)")
                       .arg(QDir::toNativeSeparators(path), reason)};
}

} // namespace

WorkbookWriter::Result WorkbookWriter::write(const Workbook &book, const QString &path)
{
    SiblingTempFile file(path);
    if (!file.create())
        return failure(path, file.errorString());

    if (!book.sourcePath.isEmpty() && XlsxPackageEditor::isPackage(book.sourcePath)) {
        QByteArray package;
        const QString error = XlsxPackageEditor::write(book, book.sourcePath, &package);
        if (!error.isEmpty())
            return failure(path, error);
        if (!file.write(package))
            return failure(path, file.errorString());
    } else {
        QStringList wanted;
        for (const Worksheet &sheet : book.sheets)
            wanted.append(sheet.name);
        const QString error = XlsxNewWorkbook::write(book, XlsxSheetNames::makeValid(wanted), file.path());
        if (!error.isEmpty())
            return failure(path, error);
    }
    if (!file.commit())
        return failure(path, file.errorString());
    return {true, {}};
}
