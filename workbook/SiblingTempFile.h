#pragma once

#include <QString>

#include <memory>

class QTemporaryFile;

// A temporary file in the target's own folder that takes the target's place only once it is
// complete: the rename is atomic, so a failed or interrupted write leaves the previous file
// untouched and never a half-written one under the target's name.
class SiblingTempFile
{
public:
    explicit SiblingTempFile(const QString &targetPath);
    ~SiblingTempFile();
    SiblingTempFile(const SiblingTempFile &) = delete;
    SiblingTempFile &operator=(const SiblingTempFile &) = delete;

    // Creates the temporary file; false (with errorString()) when the folder refuses it.
    bool create();
    // Where the content goes before commit(); a library may open this path itself.
    QString path() const;
    // Writes data to the temporary file; false (with errorString()) on a short write.
    bool write(const QByteArray &data);
    // Flushes the temporary file to disk and renames it onto the target.
    bool commit();
    // Why the last step failed, in the system's words.
    QString errorString() const { return mError; }

private:
    bool fail(const QString &reason);

    QString mTargetPath;
    std::unique_ptr<QTemporaryFile> mFile;
    QString mError;
};
