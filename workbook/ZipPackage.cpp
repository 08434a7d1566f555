#include "workbook/ZipPackage.h"

#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

ZipPackage::~ZipPackage()
{
    discard();
}

QString ZipPackage::open(const QByteArray &data)
{
    discard();
    mData = data;
    zip_error_t error;
    zip_error_init(&error);
    mSource = zip_source_buffer_create(mData.constData(), zip_uint64_t(mData.size()), 0, &error);
    if (!mSource) {
        const QString reason = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        return reason;
    }
    mArchive = zip_open_from_source(mSource, 0, &error);
    if (!mArchive) {
        const QString reason = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        zip_source_free(mSource);
        mSource = nullptr;
        return reason;
    }
    zip_error_fini(&error);
    // The archive writes its new content back into the source on close: keep it for reading.
    zip_source_keep(mSource);
    return {};
}

bool ZipPackage::contains(const QString &name) const
{
    return mArchive && zip_name_locate(mArchive, name.toUtf8().constData(), 0) >= 0;
}

QByteArray ZipPackage::read(const QString &name, QString *error) const
{
    error->clear();
    const QByteArray entry = name.toUtf8();
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (!mArchive || zip_stat(mArchive, entry.constData(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        *error = QStringLiteral("%1 fehlt im Paket").arg(name);
        return {};
    }
    zip_file_t *file = zip_fopen(mArchive, entry.constData(), 0);
    if (!file) {
        *error = archiveError();
        return {};
    }
    QByteArray data(qsizetype(stat.size), Qt::Uninitialized);
    const zip_int64_t got = zip_fread(file, data.data(), stat.size);
    zip_fclose(file);
    if (got < 0 || zip_uint64_t(got) != stat.size) {
        *error = QStringLiteral("%1 ist beschädigt").arg(name);
        return {};
    }
    return data;
}

QString ZipPackage::put(const QString &name, const QByteArray &data)
{
    // The source frees its own copy of the content when the archive is done with it.
    void *copy = std::malloc(std::size_t(std::max<qsizetype>(data.size(), 1)));
    if (!copy)
        return QStringLiteral("kein Speicher");
    std::memcpy(copy, data.constData(), std::size_t(data.size()));
    zip_source_t *source = zip_source_buffer(mArchive, copy, zip_uint64_t(data.size()), 1);
    if (!source) {
        std::free(copy);
        return archiveError();
    }
    if (zip_file_add(mArchive, name.toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        return archiveError();
    }
    return {};
}

QString ZipPackage::remove(const QString &name)
{
    const zip_int64_t index = zip_name_locate(mArchive, name.toUtf8().constData(), 0);
    if (index >= 0 && zip_delete(mArchive, zip_uint64_t(index)) != 0)
        return archiveError();
    return {};
}

QString ZipPackage::finish(QByteArray *data)
{
    if (!mArchive)
        return QStringLiteral("kein Paket geöffnet");
    if (zip_close(mArchive) != 0) {
        const QString reason = archiveError();
        discard();
        return reason;
    }
    mArchive = nullptr;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(mSource, &stat) != 0 || zip_source_open(mSource) != 0) {
        discard();
        return QStringLiteral("Paket kann nicht gelesen werden");
    }
    data->resize(qsizetype(stat.size));
    const zip_int64_t got = zip_source_read(mSource, data->data(), stat.size);
    zip_source_close(mSource);
    discard();
    if (got < 0 || zip_uint64_t(got) != stat.size)
        return QStringLiteral("Paket kann nicht gelesen werden");
    return {};
}

QString ZipPackage::archiveError() const
{
    return QString::fromUtf8(zip_strerror(mArchive));
}

// Drops the archive without writing and releases the source.
void ZipPackage::discard()
{
    if (mArchive)
        zip_discard(mArchive);
    mArchive = nullptr;
    if (mSource)
        zip_source_free(mSource);
    mSource = nullptr;
}
