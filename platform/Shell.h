#pragma once

#include <QString>

// Hands a document or web address to the desktop: the browser, the help viewer, ...
class Shell
{
public:
    virtual ~Shell() = default;
    // pathOrUrl: a local file path or an absolute URL. False when nothing could open it.
    virtual bool open(const QString &pathOrUrl) = 0;
};
