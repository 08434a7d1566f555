#pragma once

#include "publish/PublishService.h"

#include <QMutex>

#include <optional>
#include <vector>

// The one upload waiting for the publisher's thread: the GUI thread puts the newest files in,
// replacing any not yet taken, so nothing piles up while a host is slow or away.
class UploadMailbox final
{
public:
    // The files of one upload, made for one start of the service.
    struct Upload
    {
        std::vector<PublishFile> files;
        int generation = 0;
    };

    // Puts the newest upload in; true when the box was empty, so the reader needs waking.
    bool put(Upload upload);
    std::optional<Upload> take();
    // Puts back an upload that failed, unless a newer one came meanwhile.
    void putBack(Upload upload);
    void clear();

private:
    QMutex mMutex;
    std::optional<Upload> mUpload;
};
