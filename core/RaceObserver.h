#pragma once

// What the race core tells its view after an input. Every method has an empty default,
// so a test can listen to only what it checks.
class RaceObserver
{
public:
    enum class Sound { Contact, Gong };
    enum class GridChange { RunningTimes, Cells, RowCount };

    virtual ~RaceObserver() = default;
    virtual void gridChanged(GridChange) {}
    virtual void pendingChanged() {}
    virtual void controlsChanged() {}
    virtual void playSound(Sound) {}
    virtual void focusPendingList() {}
};
