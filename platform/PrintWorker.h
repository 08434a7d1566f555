#pragma once

#include <QObject>
#include <QString>

// Reads, lays out and prints pages on the printing thread, one after the other, so the
// race clock never waits for the spooler.
class PrintWorker : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Prints one written page on the default printer and tells how that went.
    void print(const QString &htmlFile);

signals:
    void printed(const QString &printerName); // the page went to this printer
    void noPrinter();                         // no printer is set up
    void failed(const QString &message);      // the page could not be read or printed
};
