#pragma once

#include "platform/Shell.h"

// The desktop's default applications, through Qt's desktop services.
class DesktopShell final : public Shell
{
public:
    bool open(const QString &pathOrUrl) override;
};
