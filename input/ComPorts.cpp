#include "input/ComPorts.h"

#include "platform/LinuxSerialDevice.h"

#include <QDir>

QString ComDeviceDir()
{
    const QString dir = qEnvironmentVariable("CHRONOLAUF_DEVICE_DIR");
    return dir.isEmpty() ? QStringLiteral("/dev") : dir;
}

QString ComPortPath(int port)
{
    QString name;
    if (port >= 1 && port <= 4)
        name = QStringLiteral("ttyS%1").arg(port - 1);
    else if (port >= 5 && port <= 12)
        name = QStringLiteral("ttyUSB%1").arg(port - 5);
    else if (port >= 13 && port <= ComPortCount)
        name = QStringLiteral("ttyACM%1").arg(port - 13);
    else
        return {};
    return QDir(ComDeviceDir()).filePath(name);
}

bool ComPortReportsCts(int port) { return port < 13 || port > ComPortCount; }

std::uint32_t ProbeComPorts()
{
    std::uint32_t presence = 0;
    for (int port = 1; port <= ComPortCount; ++port) {
        if (!LinuxSerialDevice::isPresent(ComPortPath(port)))
            continue;
        presence |= 1u << (port - 1);
        presence = (presence & 0xFFFFu) | (static_cast<std::uint32_t>(port) << 16);
    }
    return presence;
}

QList<int> PresentComPorts(std::uint32_t presence)
{
    QList<int> ports;
    for (int port = 1; port <= ComPortCount; ++port) {
        if (presence & (1u << (port - 1)))
            ports.append(port);
    }
    return ports;
}
