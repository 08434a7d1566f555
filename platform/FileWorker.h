#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>

// Runs file work (writing a workbook, reading a starter list) on a thread of its own, so the
// race's clock and keys never wait for a disk. Jobs run one after the other.
class FileWorker final : public QObject
{
    Q_OBJECT

public:
    explicit FileWorker(QObject *parent = nullptr);
    // Joins the thread: a job under way is finished first.
    ~FileWorker() override;

    // Runs job on the worker thread, then done with its result on context's thread, unless
    // context is gone by then.
    template <class Result>
    void run(std::function<Result()> job, QObject *context, std::function<void(const Result &)> done)
    {
        QMetaObject::invokeMethod(mWorker, [job = std::move(job), guard = QPointer<QObject>(context), done = std::move(done)] {
            Result result = job();
            if (guard)
                QMetaObject::invokeMethod(guard, [done, result] { done(result); }, Qt::QueuedConnection);
        }, Qt::QueuedConnection);
    }

private:
    QThread mThread;
    QObject *mWorker;
};
