#include "output/WorkbookReader.h"

#include "output/CsvReader.h"
#include "output/OrcusReader.h"
#include "output/XlsReader.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Files larger than this are no list or results sheet; reading them would only hold memory.
constexpr qint64 MaxFileSize = 256 * 1024 * 1024;

// Legacy workbooks are OLE2 compound files.
constexpr char OleSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

QString message(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::NotASpreadsheet:
        return QStringLiteral("Die Datei ist keine Tabelle");
    case ReadStatus::Corrupt:
        return QStringLiteral("Die Datei ist beschädigt");
    case ReadStatus::Encrypted:
        return QStringLiteral("Die Datei ist kennwortgeschützt");
    case ReadStatus::TooLarge:
        return QStringLiteral("Die Datei ist zu groß");
    }
    return {};
}

WorkbookReader::Result failure(const QString &error)
{
    return {std::nullopt, error};
}

// A password-protected .xlsx or .ods is saved as an OLE2 file holding the encrypted package.
bool isEncryptedPackage(const QByteArray &bytes)
{
    static const QByteArray streamName = QByteArray::fromRawData(
        "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    return bytes.contains(streamName);
}

ReadStatus readBytes(const QString &path, const QByteArray &bytes, Workbook &workbook)
{
    if (bytes.startsWith(QByteArrayView(OleSignature, 8))) {
        if (isEncryptedPackage(bytes))
            return ReadStatus::Encrypted;
        return XlsReader::read(path, workbook);
    }
    if (bytes.startsWith("PK")) {
        OrcusReader::Format format;
        if (!OrcusReader::detect(bytes, format))
            return ReadStatus::NotASpreadsheet;
        return OrcusReader::read(bytes, format, workbook);
    }
    if (bytes.contains('\0'))
        return ReadStatus::NotASpreadsheet;
    const QFileInfo info(path);
    const QString text = CsvReader::decode(bytes);
    if (info.suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) != 0 && !CsvReader::looksLikeTable(text))
        return ReadStatus::NotASpreadsheet;
    // The application names a CSV file's only sheet after the file.
    return CsvReader::read(text, info.completeBaseName(), workbook);
}

}

WorkbookReader::Result WorkbookReader::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("Die Datei kann nicht gelesen werden: %1").arg(file.errorString()));
    if (file.size() > MaxFileSize)
        return failure(message(ReadStatus::TooLarge));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failure(QStringLiteral("Die Datei kann nicht gelesen werden: %1").arg(file.errorString()));
    file.close();
    if (bytes.isEmpty())
        return failure(QStringLiteral("Die Datei ist leer"));

    Workbook workbook;
    const ReadStatus status = readBytes(path, bytes, workbook);
    if (status != ReadStatus::Ok)
        return failure(message(status));
    workbook.sourcePath = path;
    return {std::move(workbook), QString()};
}
