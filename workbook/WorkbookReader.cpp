#include "workbook/WorkbookReader.h"

#include "workbook/CellCollector.h"
#include "workbook/CsvReader.h"
#include "workbook/OrcusReader.h"
#include "workbook/XlsReader.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

// Files larger than this are no list or results sheet; reading them would only hold memory.
constexpr qint64 MaxFileSize = 256 * 1024 * 1024;

// Legacy workbooks are OLE2 compound files.
constexpr char OleSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// The helper program's file name, beside the program and where it is installed.
constexpr char SheetReaderName[] = "chronolauf-sheetreader";

// Marks the helper's output ("CLSR"), so that anything else on its stdout is refused.
constexpr quint32 StreamMagic = 0x434C5352;
// Raised whenever the layout of the output changes; program and helper come from one build.
constexpr quint16 StreamVersion = 2;
constexpr QDataStream::Version StreamQtVersion = QDataStream::Qt_6_4;

// How a cell value goes through the helper's output: a tag, then the value itself. QVariant's
// own streaming knows nothing of CellError.
enum class CellTag : quint8 { Text, Number, Truth, Error };

void writeValue(QDataStream &out, const QVariant &value)
{
    if (value.typeId() == QMetaType::Double)
        out << quint8(CellTag::Number) << value.toDouble();
    else if (value.typeId() == QMetaType::Bool)
        out << quint8(CellTag::Truth) << value.toBool();
    else if (value.canConvert<CellError>() && value.typeId() == qMetaTypeId<CellError>())
        out << quint8(CellTag::Error) << value.value<CellError>().text;
    else
        out << quint8(CellTag::Text) << value.toString();
}

// False for a tag we do not know: the output is not ours.
bool readValue(QDataStream &in, QVariant &value)
{
    quint8 tag = 0;
    in >> tag;
    switch (CellTag(tag)) {
    case CellTag::Text: {
        QString text;
        in >> text;
        value = text;
        return true;
    }
    case CellTag::Number: {
        double number = 0;
        in >> number;
        value = number;
        return true;
    }
    case CellTag::Truth: {
        bool truth = false;
        in >> truth;
        value = truth;
        return true;
    }
    case CellTag::Error: {
        QString text;
        in >> text;
        value = QVariant::fromValue(CellError{text});
        return true;
    }
    }
    return false;
}

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

QString unreadable(const QString &reason)
{
    return QStringLiteral("Die Datei kann nicht gelesen werden: %1").arg(reason);
}

// A password-protected .xlsx or .ods is saved as an OLE2 file holding the encrypted package.
bool isEncryptedPackage(const QByteArray &bytes)
{
    static const QByteArray streamName = QByteArray::fromRawData(
        "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    return bytes.contains(streamName);
}

// The formats the outside libraries read (OLE2 and ZIP); everything else is our own code.
bool needsLibrary(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayView(OleSignature, 8)) || bytes.startsWith("PK");
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

// The file's bytes, or the result that says why there are none to read.
std::optional<WorkbookReader::Result> load(const QString &path, QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(unreadable(file.errorString()));
    if (file.size() > MaxFileSize)
        return failure(message(ReadStatus::TooLarge));
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failure(unreadable(file.errorString()));
    if (bytes.isEmpty())
        return failure(QStringLiteral("Die Datei ist leer"));
    return std::nullopt;
}

WorkbookReader::Result readLoaded(const QString &path, const QByteArray &bytes)
{
    Workbook workbook;
    const ReadStatus status = readBytes(path, bytes, workbook);
    if (status != ReadStatus::Ok)
        return failure(message(status));
    workbook.sourcePath = path;
    return {std::move(workbook), QString()};
}

// The helper program: beside the running program (the build, an unpacked copy), else where
// the install put it. Empty when there is none.
QString sheetReaderProgram()
{
    // Without an application object there is no program folder to look in (the fuzz targets).
    if (QCoreApplication::instance()) {
        const QFileInfo beside(QCoreApplication::applicationDirPath() + u'/' + QLatin1String(SheetReaderName));
        if (beside.isFile() && beside.isExecutable())
            return beside.filePath();
    }
#ifdef CHRONOLAUF_SHEETREADER_INSTALLED
    const QFileInfo installed(QStringLiteral(CHRONOLAUF_SHEETREADER_INSTALLED));
    if (installed.isFile() && installed.isExecutable())
        return installed.filePath();
#endif
    return {};
}

// Runs the helper on the file and takes its result; whatever becomes of the helper, this
// process goes on.
WorkbookReader::Result readInHelper(const QString &program, const QString &path, std::chrono::milliseconds timeout)
{
    QProcess helper;
    helper.setProgram(program);
    helper.setArguments({path});
    helper.setStandardInputFile(QProcess::nullDevice());
    // A library's complaints (an assertion, say) are no message for the operator.
    helper.setStandardErrorFile(QProcess::nullDevice());
    helper.start(QIODevice::ReadOnly);
    if (!helper.waitForStarted(int(timeout.count())))
        return failure(unreadable(QStringLiteral("das Hilfsprogramm %1 startet nicht").arg(program)));
    if (!helper.waitForFinished(int(timeout.count()))) {
        helper.kill();
        helper.waitForFinished(-1);
        return failure(unreadable(QStringLiteral("das Lesen dauert zu lange")));
    }
    // A crash, an abort or a resource limit: the library failed on this file.
    if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0)
        return failure(message(ReadStatus::Corrupt));
    return WorkbookReader::decode(helper.readAllStandardOutput());
}

}

WorkbookReader::Result WorkbookReader::read(const QString &path)
{
    return read(path, DefaultTimeout);
}

WorkbookReader::Result WorkbookReader::read(const QString &path, std::chrono::milliseconds timeout)
{
    QByteArray bytes;
    if (auto failed = load(path, bytes))
        return std::move(*failed);
    if (!needsLibrary(bytes))
        return readLoaded(path, bytes);
    const QString program = sheetReaderProgram();
    // A copy of the program without its helper still reads files, only without the guard.
    if (program.isEmpty())
        return readLoaded(path, bytes);
    Result result = readInHelper(program, path, timeout);
    if (result.workbook)
        result.workbook->sourcePath = path;
    return result;
}

WorkbookReader::Result WorkbookReader::readInProcess(const QString &path)
{
    QByteArray bytes;
    if (auto failed = load(path, bytes))
        return std::move(*failed);
    return readLoaded(path, bytes);
}

QByteArray WorkbookReader::encode(const Result &result)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(StreamQtVersion);
    out << StreamMagic << StreamVersion << bool(result.workbook);
    if (!result.workbook) {
        out << result.error;
        return bytes;
    }
    const Workbook &workbook = *result.workbook;
    // Each row is scanned only as far as its own last value, so a sparse sheet costs its cells.
    out << workbook.sourcePath << quint32(workbook.sheets.size());
    for (const Worksheet &sheet : workbook.sheets) {
        const int rows = sheet.usedRows();
        quint32 filled = 0;
        for (int row = 1; row <= rows; ++row) {
            for (int column = 1; column <= sheet.rowLength(row); ++column)
                filled += sheet.cell(row, column).isValid() ? 1 : 0;
        }
        out << sheet.name << filled;
        for (int row = 1; row <= rows; ++row) {
            for (int column = 1; column <= sheet.rowLength(row); ++column) {
                const QVariant value = sheet.cell(row, column);
                if (value.isValid()) {
                    out << qint32(row) << qint32(column);
                    writeValue(out, value);
                }
            }
        }
        out << quint32(sheet.formulasWithoutResult.size());
        for (const auto &[row, column] : sheet.formulasWithoutResult)
            out << qint32(row) << qint32(column);
    }
    return bytes;
}

WorkbookReader::Result WorkbookReader::decode(const QByteArray &bytes)
{
    const Result broken = failure(message(ReadStatus::Corrupt));
    QDataStream in(bytes);
    in.setVersion(StreamQtVersion);
    quint32 magic = 0;
    quint16 version = 0;
    bool ok = false;
    in >> magic >> version >> ok;
    if (in.status() != QDataStream::Ok || magic != StreamMagic || version != StreamVersion)
        return broken;
    if (!ok) {
        QString error;
        in >> error;
        if (in.status() != QDataStream::Ok || !in.atEnd() || error.isEmpty())
            return broken;
        return failure(error);
    }

    Workbook workbook;
    quint32 sheetCount = 0;
    in >> workbook.sourcePath >> sheetCount;
    if (in.status() != QDataStream::Ok || sheetCount == 0 || sheetCount > quint32(CellCollector::MaxSheets))
        return broken;
    // The collector holds the helper's cells to the same budget as a read in this process.
    CellCollector cells;
    for (quint32 index = 0; index < sheetCount; ++index) {
        QString name;
        quint32 filled = 0;
        in >> name >> filled;
        if (in.status() != QDataStream::Ok || filled > quint32(CellCollector::MaxCells))
            return broken;
        const int sheet = cells.addSheet(name);
        for (quint32 n = 0; n < filled; ++n) {
            qint32 row = 0;
            qint32 column = 0;
            QVariant value;
            in >> row >> column;
            if (!readValue(in, value) || in.status() != QDataStream::Ok || row < 1 || row > CellCollector::MaxRows
                || column < 1 || column > CellCollector::MaxColumns)
                return broken;
            if (!cells.setCell(sheet, row, column, value))
                return failure(message(ReadStatus::TooLarge));
        }
        quint32 formulas = 0;
        in >> formulas;
        if (in.status() != QDataStream::Ok || formulas > quint32(CellCollector::MaxCells))
            return broken;
        for (quint32 n = 0; n < formulas; ++n) {
            qint32 row = 0;
            qint32 column = 0;
            in >> row >> column;
            if (in.status() != QDataStream::Ok || !cells.markFormulaWithoutResult(sheet, row, column))
                return broken;
        }
    }
    if (!in.atEnd())
        return broken;
    if (!cells.moveInto(workbook))
        return failure(message(ReadStatus::TooLarge));
    return {std::move(workbook), QString()};
}
