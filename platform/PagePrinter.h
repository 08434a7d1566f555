#pragma once

#include <QObject>
#include <QString>

// Prints a written web page on the default printer, without asking and without the caller waiting.
class PagePrinter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Returns at once; one of the signals below follows on the caller's thread.
    virtual void print(const QString &htmlFile) = 0;

signals:
    void printed(const QString &printerName); // the page went to this printer
    void noPrinter();                         // no printer is set up
    void failed(const QString &message);      // the page could not be read or printed
};
