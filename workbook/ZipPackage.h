#pragma once

#include <QByteArray>
#include <QString>

struct zip;
struct zip_source;

// A zip archive opened from bytes in memory and written back to bytes, so that editing a
// package never touches the file it came from and the result can be written out in one go.
class ZipPackage
{
public:
    ZipPackage() = default;
    ~ZipPackage();
    ZipPackage(const ZipPackage &) = delete;
    ZipPackage &operator=(const ZipPackage &) = delete;

    // Opens the archive held in data; an empty string on success, else why not.
    QString open(const QByteArray &data);
    // True when the archive holds an entry of that name.
    bool contains(const QString &name) const;
    // The entry's content; an empty string in *error on success.
    QByteArray read(const QString &name, QString *error) const;
    // Adds the entry or replaces its content; an empty string on success.
    QString put(const QString &name, const QByteArray &data);
    // Removes the entry if there is one; an empty string on success.
    QString remove(const QString &name);
    // Finishes the archive into *data and closes it; an empty string on success.
    QString finish(QByteArray *data);

private:
    QString archiveError() const;
    void discard();

    // The bytes the source reads from; libzip does not copy them.
    QByteArray mData;
    zip_source *mSource = nullptr;
    zip *mArchive = nullptr;
};
