#pragma once

#include "platform/PagePrinter.h"

#include <QThread>

class PrintWorker;

// Qt Print Support on a printing thread of its own, started with the printer and joined when it goes.
class QtPagePrinter final : public PagePrinter
{
    Q_OBJECT

public:
    explicit QtPagePrinter(QObject *parent = nullptr);
    // Waits for the page being printed, so no thread outlives the printer.
    ~QtPagePrinter() override;

    void print(const QString &htmlFile) override;

private:
    QThread mThread;      // runs the worker's queue of pages
    PrintWorker *mWorker; // lives on mThread; deleted there when the thread ends
};
