#include "publish/Publisher.h"

#include "publish/CurlUpload.h"

#include <QTimer>

#include <algorithm>

namespace {
// The first pause after a failure; each further failure doubles it, up to the interval.
constexpr int FirstBackoffMs = 1000;
} // namespace

Publisher::Publisher(PublishService::FileMaker maker, QObject *parent)
    : QObject(parent)
    , mMaker(std::move(maker))
    , mUpload(std::make_unique<CurlUpload>())
    , mRetry(new QTimer(this))
{
    mRetry->setSingleShot(true);
    connect(mRetry, &QTimer::timeout, this, &Publisher::sendPending);
}

Publisher::~Publisher() = default;

void Publisher::offer(std::shared_ptr<const ResultsSnapshot> results, int generation)
{
    // Only an empty box posts a wake: a full one already has one on its way.
    if (mMailbox.put({.results = std::move(results), .files = {}, .generation = generation}))
        QMetaObject::invokeMethod(this, &Publisher::sendPending, Qt::QueuedConnection);
}

void Publisher::setGeneration(int generation)
{
    mGeneration.store(generation);
    mUpload->wake();
}

void Publisher::drop()
{
    mMailbox.clear();
}

void Publisher::configure(const PublishTarget &target, const PublishCredentials &credentials, int intervalMs, int generation)
{
    mRetry->stop();
    mUpload->setTarget(target, credentials);
    mConfigured = generation;
    mIntervalMs = intervalMs;
    mBackoffMs = FirstBackoffMs;
    mFailures = 0;
    sendPending();
}

void Publisher::halt()
{
    mRetry->stop();
}

void Publisher::sendPending()
{
    // During a pause the retry takes whatever is newest when it is due.
    if (mRetry->isActive())
        return;
    std::optional<UploadMailbox::Upload> upload = mMailbox.take();
    if (!upload)
        return;
    if (upload->generation != mConfigured) {
        // Files of a start whose target is still on its way wait for it; older ones are dropped.
        if (upload->generation > mConfigured)
            mMailbox.putBack(std::move(*upload));
        return;
    }
    const int generation = upload->generation;
    if (upload->files.empty() && upload->results)
        upload->files = mMaker(upload->results);
    const CurlUpload::Outcome outcome = mUpload->send(upload->files, [this, generation] {
        return mGeneration.load(std::memory_order_relaxed) != generation;
    });
    mTotal += outcome.bytes;
    if (outcome.bytes > 0)
        emit sent(mTotal);
    if (outcome.cancelled || generation != mGeneration.load())
        return;
    if (outcome.ok) {
        mFailures = 0;
        mBackoffMs = FirstBackoffMs;
        emit uploaded(QDateTime::currentDateTime(), generation);
        return;
    }
    ++mFailures;
    emit uploadFailed(outcome.reason, mFailures, generation);
    mMailbox.putBack(std::move(*upload));
    mRetry->start(mBackoffMs);
    mBackoffMs = std::min(mBackoffMs * 2, mIntervalMs);
}
