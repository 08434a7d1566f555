#pragma once

#include "platform/PagePrinter.h"

// Qt Print Support: a print dialog, then the page laid out and printed on a worker thread.
class QtPagePrinter final : public PagePrinter
{
public:
    void print(QWidget *parent, const QString &htmlFile) override;
};
