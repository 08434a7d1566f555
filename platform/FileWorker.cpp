#include "platform/FileWorker.h"

FileWorker::FileWorker(QObject *parent)
    : QObject(parent)
    , mWorker(new QObject)
{
    mThread.setObjectName(QStringLiteral("FileWorker"));
    mWorker->moveToThread(&mThread);
    connect(&mThread, &QThread::finished, mWorker, &QObject::deleteLater);
    mThread.start();
}

FileWorker::~FileWorker()
{
    mThread.quit();
    mThread.wait();
}
