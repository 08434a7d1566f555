#pragma once

#include "settings/ProgramSettings.h"
#include "ui/Services.h"

#include <memory>

class QSettings;
class Shell;
class SoundPlayer;
class TFDlgYesNo;
class TFormInfo;
class TFormMain;
class TickSource;

// The running program: its windows, made in their fixed order (the main window first,
// its dialogs after it), with the settings of the last run applied, and written back when
// the main window closes.
class Program
{
public:
    Program(const Services &services, QSettings &store);
    ~Program();

    TFormMain &mainWindow() { return *mFormMain; }
    TFDlgYesNo &questionDialog() { return *mQuestion; }
    TFormInfo &infoBox() { return *mInfo; }
    const ProgramSettings &loaded() const { return mLoaded; }

    // The settings as they stand now: the window's bounds and the session's fields, the
    // rest as loaded.
    ProgramSettings current() const;

    static QString baseName();

private:
    void apply(const ProgramSettings &settings);

    QSettings &mStore;
    ProgramSettings mLoaded;
    std::unique_ptr<TFormMain> mFormMain;
    TFDlgYesNo *mQuestion = nullptr;
    TFormInfo *mInfo = nullptr;
};
