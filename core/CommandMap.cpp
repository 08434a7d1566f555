#include "core/CommandMap.h"

namespace CommandMap {
namespace {

Command participant(int p)
{
    return Command{Command::Id::Participant, p};
}

// The navigation keys (cursor block, and the keypad with Num Lock off) book participants
// laid out like the keypad digits; keypad 5 with Num Lock off has no participant.
std::optional<int> navigationParticipant(int key)
{
    switch (key) {
    case Qt::Key_End: return 1;
    case Qt::Key_Down: return 2;
    case Qt::Key_PageDown: return 3;
    case Qt::Key_Left: return 4;
    case Qt::Key_Right: return 6;
    case Qt::Key_Home: return 7;
    case Qt::Key_Up: return 8;
    case Qt::Key_PageUp: return 9;
    case Qt::Key_Insert: return 10;
    default: return std::nullopt;
    }
}

// "1".."9" book participants 1..9, "0" participant 10.
int digitParticipant(int key)
{
    return key == Qt::Key_0 ? 10 : key - Qt::Key_0;
}

} // namespace

std::optional<Command> lookup(int key, Qt::KeyboardModifiers modifiers, const KeyBindingState &state)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    const Qt::KeyboardModifiers chord = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);

    if (chord == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_S: return Command{Command::Id::Start};
        case Qt::Key_Delete: return Command{Command::Id::DeletePending};
        case Qt::Key_L: return Command{Command::Id::ToggleArming};
        case Qt::Key_E: return Command{Command::Id::Settings};
        case Qt::Key_H: return Command{Command::Id::Help};
        case Qt::Key_O: return Command{Command::Id::OpenStarterList};
        case Qt::Key_I: return Command{Command::Id::Info};
        case Qt::Key_P: return Command{Command::Id::Print};
        // During a session Ctrl+Z takes the last lap back; otherwise the fields undo their typing.
        case Qt::Key_Z: return state.digitKeysBound ? std::optional<Command>(Command{Command::Id::Undo}) : std::nullopt;
        case Qt::Key_W: return Command{Command::Id::Scoreboard};
        case Qt::Key_K: return Command{Command::Id::Corrections};
        default: return std::nullopt;
        }
    }
    if (chord == (Qt::ControlModifier | Qt::ShiftModifier)) {
        switch (key) {
        case Qt::Key_W: return Command{Command::Id::LiveResults};
        case Qt::Key_U: return Command{Command::Id::Publish};
        default: return std::nullopt;
        }
    }
    if (chord == Qt::AltModifier) {
        switch (key) {
        case Qt::Key_S: return Command{Command::Id::Sort};
        case Qt::Key_I: return Command{Command::Id::HelpMenu};
        default: return std::nullopt;
        }
    }
    if (chord != Qt::NoModifier)
        return std::nullopt;

    if (key >= Qt::Key_F1 && key <= Qt::Key_F10)
        return participant(10 + key - Qt::Key_F1 + 1);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        if (keypad || state.digitKeysBound)
            return participant(digitParticipant(key));
        return std::nullopt;
    }
    if (const auto p = navigationParticipant(key))
        return participant(*p);
    if (key == Qt::Key_Space && state.spaceBound)
        return Command{Command::Id::Capture};
    return std::nullopt;
}

} // namespace CommandMap
