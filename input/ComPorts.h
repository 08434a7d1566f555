#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// Port numbers run 1..16, as "COM" 1..16 on the operator's side.
inline constexpr int ComPortCount = 16;

// Where the port devices live: /dev, or the folder named by CHRONOLAUF_DEVICE_DIR (for tests
// and for a folder of udev symlinks).
QString ComDeviceDir();

// The device behind "COM" n: COM1-4 are ttyS0-3, COM5-12 ttyUSB0-7, COM13-16 ttyACM0-3.
// Empty for a number outside 1..16 (0 means "no port").
QString ComPortPath(int port);

// False for the ports whose driver never reports a change of CTS (COM13-16, cdc-acm: its line
// notification has no CTS bit), so a start barrier cannot work there.
bool ComPortReportsCts(int port);

// Tries every port once: bits 0..15 say which of COM1..COM16 opened and are character devices
// not held by another program; bits 16..31 hold the highest such number (0 when there is none).
std::uint32_t ProbeComPorts();

// The port numbers a probe found, ascending.
QList<int> PresentComPorts(std::uint32_t presence);
