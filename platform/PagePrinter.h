#pragma once

#include <QString>

class QWidget;

// Prints a written web page: the operator picks the printer, then the page goes to it
// without the program waiting for the printer.
class PagePrinter
{
public:
    virtual ~PagePrinter() = default;
    virtual void print(QWidget *parent, const QString &htmlFile) = 0;
};
