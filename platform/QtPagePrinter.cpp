#include "platform/QtPagePrinter.h"

#include "platform/PrintWorker.h"

QtPagePrinter::QtPagePrinter(QObject *parent)
    : PagePrinter(parent)
    , mWorker(new PrintWorker)
{
    mWorker->moveToThread(&mThread);
    connect(&mThread, &QThread::finished, mWorker, &QObject::deleteLater);
    // The worker emits on its thread; the answers are queued over to ours.
    connect(mWorker, &PrintWorker::printed, this, &PagePrinter::printed);
    connect(mWorker, &PrintWorker::noPrinter, this, &PagePrinter::noPrinter);
    connect(mWorker, &PrintWorker::failed, this, &PagePrinter::failed);
    // Names the thread for debuggers and the process's task list.
    mThread.setObjectName(QStringLiteral("PagePrinter"));
    mThread.start();
}

QtPagePrinter::~QtPagePrinter()
{
    mThread.quit();
    mThread.wait();
}

void QtPagePrinter::print(const QString &htmlFile)
{
    PrintWorker *worker = mWorker;
    QMetaObject::invokeMethod(worker, [worker, htmlFile] { worker->print(htmlFile); }, Qt::QueuedConnection);
}
