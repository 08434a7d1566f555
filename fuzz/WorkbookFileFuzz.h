#pragma once

#include "workbook/WorkbookReader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes the fuzzer's bytes to a file of this process and reads it as a workbook: the readers
// take a path, as FreeXL does. signature replaces the first bytes so that the input reaches
// the reader under test rather than the format detection.
inline int fuzzWorkbookFile(const std::uint8_t *data, std::size_t size, const char *suffix, QByteArrayView signature)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!signature.isEmpty()) {
        if (bytes.size() < signature.size())
            bytes.resize(signature.size(), '\0');
        bytes.replace(0, signature.size(), signature.toByteArray());
    }
    static const QByteArray path =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/chronolauf-fuzz-%1%2").arg(QCoreApplication::applicationPid()).arg(QLatin1String(suffix)));
    std::FILE *file = std::fopen(path.constData(), "wb");
    if (!file)
        return 0;
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file) == std::size_t(bytes.size());
    std::fclose(file);
    if (!written)
        return 0;
    const WorkbookReader::Result result = WorkbookReader::read(QFile::decodeName(path));
    // Exactly one of the two: a workbook, or the reason there is none.
    if (result.workbook.has_value() == !result.error.isEmpty())
        __builtin_trap();
    if (result.workbook && result.workbook->sheets.empty())
        __builtin_trap();
    return 0;
}
