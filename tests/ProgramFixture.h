#pragma once

#include "ClockView.h"
#include "FakeSerialDevice.h"
#include "Fakes.h"
#include "app/Program.h"
#include "core/RaceCore.h"
#include "session/RaceSession.h"
#include "ui/TFormMain.h"

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The running program as the widget tests start it: the fakes only for what cannot run here,
// a clock the test moves, and for each program settings and journals of its own.
class ProgramFixture
{
protected:
    QTemporaryDir dir;
    ManualTickSource clock{100000};
    FakeSound sound;
    FakeShell shell;
    FakePrinter printer;
    FakeSerialDevice *serial = nullptr; // the light barriers' port, owned by the program
    bool serialMissing = false;         // the next program starts with the adapter unplugged
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<Program> program;
    int programs = 0;

    TFormMain &form() { return program->mainWindow(); }
    const RaceCore &core() { return program->session().core(); }

    // A fresh program on settings of "Key=value" lines (whole numbers or texts), its main window shown and
    // active; false when the window did not come up.
    bool startProgram(const QStringList &lines = {})
    {
        program.reset();
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings-%1.conf").arg(++programs)),
                                               QSettings::IniFormat);
        for (const QString &line : lines) {
            // Whole numbers as numbers, anything else (an address) as text.
            const QString value = line.section(QLatin1Char('='), 1);
            bool number = false;
            const int n = value.toInt(&number);
            settings->setValue(line.section(QLatin1Char('='), 0, 0), number ? QVariant(n) : QVariant(value));
        }
        settings->sync();
        auto device = std::make_unique<FakeSerialDevice>();
        if (serialMissing)
            device->failOpen(SerialDevice::OpenError{SerialDevice::OpenError::Step::Open, QStringLiteral("No such file or directory")});
        serial = device.get();
        program = std::make_unique<Program>(
            Program::Services{std::make_unique<ClockView>(clock), sound, shell, printer, std::move(device),
                              dir.filePath(QStringLiteral("journal-%1").arg(programs))},
            *settings);
        form().show();
        program->start();
        form().activateWindow();
        return QTest::qWaitForWindowActive(&form());
    }
};
