#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// One present port for the program's port probe: COM3, a pseudo-terminal behind ttyS2 in a
// device folder of the test's own, which the program is pointed at.
class PresentPort
{
public:
    PresentPort() = default;
    PresentPort(const PresentPort &) = delete;
    PresentPort &operator=(const PresentPort &) = delete;
    ~PresentPort()
    {
        if (mMaster >= 0)
            ::close(mMaster);
    }

    // False when no pseudo-terminal could be had or linked.
    bool setUp(const QDir &deviceDir)
    {
        mMaster = posix_openpt(O_RDWR | O_NOCTTY);
        if (mMaster < 0 || grantpt(mMaster) != 0 || unlockpt(mMaster) != 0)
            return false;
        if (!QFile::link(QString::fromLocal8Bit(ptsname(mMaster)), deviceDir.filePath(QStringLiteral("ttyS2"))))
            return false;
        qputenv("CHRONOLAUF_DEVICE_DIR", deviceDir.path().toLocal8Bit());
        return true;
    }

private:
    int mMaster = -1;
};
