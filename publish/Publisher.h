#pragma once

#include "publish/PublishService.h"
#include "publish/PublishTarget.h"
#include "publish/UploadMailbox.h"

#include <QDateTime>
#include <QObject>

#include <atomic>
#include <memory>
#include <vector>

class CurlUpload;
class QTimer;

// The uploads on the publishing thread: takes the newest files from the mailbox, sends them,
// and after a failure tries again with a growing pause up to the interval. Each start of the
// service is a generation; what belongs to an older one is cut or dropped.
class Publisher final : public QObject
{
    Q_OBJECT

public:
    // maker: makes the files of an upload, on the publishing thread.
    explicit Publisher(PublishService::FileMaker maker, QObject *parent = nullptr);
    ~Publisher() override;

    // GUI thread: the newest results, replacing any not yet sent; their files are made on the
    // publishing thread, so a booking never waits for a page being written.
    void offer(std::shared_ptr<const ResultsSnapshot> results, int generation);
    // Any thread: a running transfer of another generation is cut at once.
    void setGeneration(int generation);
    // Any thread: drops the files not yet sent.
    void drop();

    // Publishing thread: the target of a generation; the files waiting go up now.
    void configure(const PublishTarget &target, const PublishCredentials &credentials, int intervalMs, int generation);
    // Publishing thread: no retry is pending any more.
    void halt();

signals:
    // Every file of an upload of that generation is in place.
    void uploaded(const QDateTime &at, int generation);
    // An upload of that generation failed; it is tried again after a pause.
    void uploadFailed(const QString &reason, int failuresInRow, int generation);
    // Bytes sent since the publisher was made.
    void sent(qint64 total);

private:
    // Uploads what the mailbox holds, unless a pause after a failure is running.
    void sendPending();

    PublishService::FileMaker mMaker;
    std::unique_ptr<CurlUpload> mUpload; // the transfer, with its open connection
    UploadMailbox mMailbox;              // filled by the GUI thread, emptied here
    // The generation the service is at now; written by the GUI thread, read by the transfer.
    std::atomic<int> mGeneration{0};
    int mConfigured = -1; // the generation mUpload is set up for
    QTimer *mRetry;       // the pause after a failure
    int mIntervalMs = PublishService::DefaultIntervalSeconds * 1000; // the longest pause
    int mBackoffMs = 1000; // the next pause
    int mFailures = 0;     // failures since the last success
    qint64 mTotal = 0;     // bytes sent
};
