#pragma once

#include "publish/PublishService.h"

#include <QMutex>

#include <memory>
#include <optional>
#include <vector>

// The one upload waiting for the publisher's thread: the GUI thread puts the newest files in,
// replacing any not yet taken, so nothing piles up while a host is slow or away.
class UploadMailbox final
{
public:
    // One upload for one start of the service: the results it shows, and the files made of
    // them once the publishing thread takes it (a failed one keeps its files for the retry).
    struct Upload
    {
        std::shared_ptr<const ResultsSnapshot> results;
        std::vector<PublishFile> files;
        int generation = 0; // the start of the service it was made for
    };

    // Puts the newest upload in; true when the box was empty, so the reader needs waking.
    bool put(Upload upload);
    // The upload waiting, if any; the box is empty afterwards.
    std::optional<Upload> take();
    // Puts back an upload that failed, unless a newer one came meanwhile.
    void putBack(Upload upload);
    // Drops what waits (a stop).
    void clear();

private:
    QMutex mMutex;                 // the GUI thread puts, the publishing thread takes
    std::optional<Upload> mUpload; // at most one: the newest
};
