#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <zip.h>

// One entry of a zip package read with libzip, so that a test looks into a written package
// without the program's own package reader. Empty when the package or the entry is missing.
inline QByteArray zipEntry(const QString &path, const char *name)
{
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return {};
    QByteArray data;
    zip_stat_t stat;
    zip_file_t *file = zip_stat(archive, name, 0, &stat) == 0 ? zip_fopen(archive, name, 0) : nullptr;
    if (file) {
        data.resize(qsizetype(stat.size));
        if (zip_fread(file, data.data(), stat.size) != zip_int64_t(stat.size))
            data.clear();
        zip_fclose(file);
    }
    zip_close(archive);
    return data;
}
