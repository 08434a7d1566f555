#pragma once

#include <Qt>

#include <optional>

// The main window's keyboard commands. A key bound to a command is taken by the
// command before the focused control sees it, whether or not the command can act.
struct Command
{
    enum class Id {
        Start,
        Capture,
        Participant,
        DeletePending,
        Sort,
        ToggleArming,
        Settings,
        Help,
        OpenStarterList,
        Info,
        Print,
        HelpMenu, // the help group's own key: taken, but it has nothing to do
        Undo,     // "Rückgängig": the last booked lap back into the waiting times
        Scoreboard,  // "Anzeigetafel": the standings in large type for a second screen
        LiveResults, // "Live-Ergebnisse im Netz": the read-only standings page on or off
        Corrections, // "Korrekturen": the window that corrects booked laps
        Publish,     // "Im Internet veröffentlichen": uploads of the standings to a web host on or off
    };
    Id id;
    int participant = 0;

    friend bool operator==(const Command &, const Command &) = default;
};

struct KeyBindingState
{
    bool digitKeysBound = false; // main digits during a session
    bool spaceBound = false;     // Space while capturing is enabled
};

namespace CommandMap {
// The command bound to a key, if any. Keys of the numeric keypad carry Qt::KeypadModifier.
std::optional<Command> lookup(int key, Qt::KeyboardModifiers modifiers, const KeyBindingState &state);
} // namespace CommandMap
