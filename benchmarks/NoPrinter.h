#pragma once

#include "platform/PagePrinter.h"

// The main window needs a printer; the benchmarks print nothing.
class NoPrinter final : public PagePrinter
{
    Q_OBJECT

public:
    void print(const QString &) override {}
};
