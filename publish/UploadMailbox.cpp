#include "publish/UploadMailbox.h"

#include <QMutexLocker>

bool UploadMailbox::put(Upload upload)
{
    const QMutexLocker lock(&mMutex);
    const bool wasEmpty = !mUpload.has_value();
    mUpload = std::move(upload);
    return wasEmpty;
}

std::optional<UploadMailbox::Upload> UploadMailbox::take()
{
    const QMutexLocker lock(&mMutex);
    return std::exchange(mUpload, std::nullopt);
}

void UploadMailbox::putBack(Upload upload)
{
    const QMutexLocker lock(&mMutex);
    if (!mUpload)
        mUpload = std::move(upload);
}

void UploadMailbox::clear()
{
    const QMutexLocker lock(&mMutex);
    mUpload.reset();
}
