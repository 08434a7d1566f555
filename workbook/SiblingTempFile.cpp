#include "workbook/SiblingTempFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SiblingTempFile::SiblingTempFile(const QString &targetPath)
    : mTargetPath(targetPath)
{
}

// An uncommitted temporary file is removed by QTemporaryFile itself.
SiblingTempFile::~SiblingTempFile() = default;

bool SiblingTempFile::create()
{
    const QFileInfo target(mTargetPath);
    // Hidden and with a random part, so it never collides with or looks like a real result.
    mFile = std::make_unique<QTemporaryFile>(
        target.absolutePath() + QLatin1String("/.") + target.fileName() + QLatin1String(".XXXXXX"));
    if (!mFile->open())
        return fail(mFile->errorString());
    return true;
}

QString SiblingTempFile::path() const
{
    return mFile ? mFile->fileName() : QString();
}

bool SiblingTempFile::write(const QByteArray &data)
{
    if (!mFile)
        return fail(QStringLiteral("no temporary file"));
    errno = 0;
    if (mFile->write(data) != data.size() || !mFile->flush())
        return fail(errno ? QString::fromLocal8Bit(std::strerror(errno)) : mFile->errorString());
    return true;
}

bool SiblingTempFile::commit()
{
    if (!mFile)
        return fail(QStringLiteral("no temporary file"));
    // The file may have been written through its path by another library: sync that content.
    if (::fsync(mFile->handle()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    // QTemporaryFile creates the file for its owner only; the result is an ordinary document.
    QFile::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
        | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (QFileInfo::exists(mTargetPath))
        permissions = QFile::permissions(mTargetPath);
    mFile->setPermissions(permissions);
    const QByteArray from = QFile::encodeName(mFile->fileName());
    const QByteArray to = QFile::encodeName(mTargetPath);
    mFile->close();
    if (std::rename(from.constData(), to.constData()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    mFile->setAutoRemove(false);
    // Make the rename itself durable as well.
    const int folder = ::open(QFile::encodeName(QFileInfo(mTargetPath).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

bool SiblingTempFile::fail(const QString &reason)
{
    mError = reason;
    return false;
}
