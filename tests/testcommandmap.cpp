#include "core/CommandMap.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

namespace {

// Expected outcome in table form: no command is "Unbound".
enum class Expect { Unbound, Start, Capture, Participant, DeletePending, Sort, ToggleArming, Settings, Help, Open, Info, Print, HelpMenu, Undo, Scoreboard, LiveResults, Corrections, Publish };

std::optional<Command> expectedCommand(Expect expect, int participant)
{
    switch (expect) {
    case Expect::Unbound: return std::nullopt;
    case Expect::Start: return Command{Command::Id::Start};
    case Expect::Capture: return Command{Command::Id::Capture};
    case Expect::Participant: return Command{Command::Id::Participant, participant};
    case Expect::DeletePending: return Command{Command::Id::DeletePending};
    case Expect::Sort: return Command{Command::Id::Sort};
    case Expect::ToggleArming: return Command{Command::Id::ToggleArming};
    case Expect::Settings: return Command{Command::Id::Settings};
    case Expect::Help: return Command{Command::Id::Help};
    case Expect::Open: return Command{Command::Id::OpenStarterList};
    case Expect::Info: return Command{Command::Id::Info};
    case Expect::Print: return Command{Command::Id::Print};
    case Expect::HelpMenu: return Command{Command::Id::HelpMenu};
    case Expect::Undo: return Command{Command::Id::Undo};
    case Expect::Scoreboard: return Command{Command::Id::Scoreboard};
    case Expect::Corrections: return Command{Command::Id::Corrections};
    case Expect::LiveResults: return Command{Command::Id::LiveResults};
    case Expect::Publish: return Command{Command::Id::Publish};
    }
    return std::nullopt;
}

QString describe(const std::optional<Command> &command)
{
    if (!command)
        return QStringLiteral("unbound");
    return QStringLiteral("command %1, participant %2").arg(int(command->id)).arg(command->participant);
}

struct Binding
{
    bool digits;
    bool space;
    const char *name;
};

// Every state the window can be in: digits and Space are bound together during a session,
// and after an automatic end only Space stays bound.
constexpr Binding AllStates[] = {
    {false, false, "idle"},
    {true, true, "session"},
    {false, true, "ended by itself"},
    {true, false, "digits only"},
};

const Qt::KeyboardModifiers None = Qt::NoModifier;
const Qt::KeyboardModifiers Keypad = Qt::KeypadModifier;
const Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;
const Qt::KeyboardModifiers Alt = Qt::AltModifier;
const Qt::KeyboardModifiers Shift = Qt::ShiftModifier;
const Qt::KeyboardModifiers Meta = Qt::MetaModifier;

// Adds one row per binding state; the expected command is the same in all of them.
void addInAllStates(const char *name, int key, Qt::KeyboardModifiers modifiers, Expect expect, int participant = 0)
{
    for (const Binding &b : AllStates)
        QTest::addRow("%s (%s)", name, b.name) << key << modifiers << b.digits << b.space << expect << participant;
}

struct Outcome
{
    Expect expect;
    int participant;
};

// Adds one row per binding state with a different expectation depending on the state.
template <typename Pick>
void addPerState(const char *name, int key, Qt::KeyboardModifiers modifiers, Pick pick)
{
    for (const Binding &b : AllStates) {
        const auto [expect, participant] = pick(b);
        QTest::addRow("%s (%s)", name, b.name) << key << modifiers << b.digits << b.space << expect << participant;
    }
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class TestCommandMap : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
};

void TestCommandMap::lookup_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("digitKeysBound");
    QTest::addColumn<bool>("spaceBound");
    QTest::addColumn<Expect>("expect");
    QTest::addColumn<int>("participant");

    // Chords, bound in every state.
    addInAllStates("Ctrl+S", Qt::Key_S, Ctrl, Expect::Start);
    addInAllStates("Ctrl+Del", Qt::Key_Delete, Ctrl, Expect::DeletePending);
    addInAllStates("Ctrl+keypad Del", Qt::Key_Delete, Ctrl | Keypad, Expect::DeletePending);
    addInAllStates("Ctrl+L", Qt::Key_L, Ctrl, Expect::ToggleArming);
    addInAllStates("Alt+S", Qt::Key_S, Alt, Expect::Sort);
    addInAllStates("Ctrl+E", Qt::Key_E, Ctrl, Expect::Settings);
    addInAllStates("Ctrl+H", Qt::Key_H, Ctrl, Expect::Help);
    addInAllStates("Ctrl+O", Qt::Key_O, Ctrl, Expect::Open);
    addInAllStates("Ctrl+I", Qt::Key_I, Ctrl, Expect::Info);
    addInAllStates("Ctrl+P", Qt::Key_P, Ctrl, Expect::Print);
    addInAllStates("Alt+I", Qt::Key_I, Alt, Expect::HelpMenu);
    addInAllStates("plain I", Qt::Key_I, None, Expect::Unbound);
    addInAllStates("plain S", Qt::Key_S, None, Expect::Unbound);
    addInAllStates("plain L", Qt::Key_L, None, Expect::Unbound);
    addInAllStates("plain Del", Qt::Key_Delete, None, Expect::Unbound);
    addInAllStates("Shift+S", Qt::Key_S, Shift, Expect::Unbound);
    addInAllStates("Ctrl+Alt+S", Qt::Key_S, Ctrl | Alt, Expect::Unbound);
    addInAllStates("Ctrl+Shift+S", Qt::Key_S, Ctrl | Shift, Expect::Unbound);
    addInAllStates("Meta+S", Qt::Key_S, Meta, Expect::Unbound);
    addInAllStates("Alt+L", Qt::Key_L, Alt, Expect::Unbound);
    addInAllStates("Ctrl+Q", Qt::Key_Q, Ctrl, Expect::Unbound);
    addInAllStates("plain letter A", Qt::Key_A, None, Expect::Unbound);
    addInAllStates("plain letter Z", Qt::Key_Z, None, Expect::Unbound);

    // F1..F10 book participants 11..20 in every state; other function keys nothing.
    for (int i = 1; i <= 10; ++i) {
        const QByteArray name = "F" + QByteArray::number(i);
        addInAllStates(name.constData(), Qt::Key_F1 + i - 1, None, Expect::Participant, 10 + i);
    }
    addInAllStates("F11", Qt::Key_F11, None, Expect::Unbound);
    addInAllStates("F12", Qt::Key_F12, None, Expect::Unbound);
    addInAllStates("Shift+F3", Qt::Key_F3, Shift, Expect::Unbound);
    addInAllStates("Ctrl+F3", Qt::Key_F3, Ctrl, Expect::Unbound);

    // Main digits 1..9, 0 book participants 1..10 only while digit keys are bound.
    for (int d = 0; d <= 9; ++d) {
        const int p = d == 0 ? 10 : d;
        const QByteArray name = "digit " + QByteArray::number(d);
        addPerState(name.constData(), Qt::Key_0 + d, None, [p](const Binding &b) {
            return b.digits ? Outcome{Expect::Participant, p} : Outcome{Expect::Unbound, 0};
        });
    }
    // Keypad digits (Num Lock on) book participants 1..10 always.
    for (int d = 0; d <= 9; ++d) {
        const QByteArray name = "keypad " + QByteArray::number(d);
        addInAllStates(name.constData(), Qt::Key_0 + d, Keypad, Expect::Participant, d == 0 ? 10 : d);
    }
    // Modified digits are never bound.
    addInAllStates("Shift+7", Qt::Key_7, Shift, Expect::Unbound);
    addInAllStates("Ctrl+7", Qt::Key_7, Ctrl, Expect::Unbound);
    addInAllStates("Alt+7", Qt::Key_7, Alt, Expect::Unbound);
    addInAllStates("Ctrl+0", Qt::Key_0, Ctrl, Expect::Unbound);
    addInAllStates("Ctrl+keypad 7", Qt::Key_7, Ctrl | Keypad, Expect::Unbound);

    // Navigation keys: the cursor block, and the keypad with Num Lock off, laid out like the keypad digits.
    const struct
    {
        const char *name;
        int key;
        int participant;
    } navigation[] = {
        {"End", Qt::Key_End, 1},       {"Down", Qt::Key_Down, 2}, {"PgDn", Qt::Key_PageDown, 3},
        {"Left", Qt::Key_Left, 4},     {"Right", Qt::Key_Right, 6}, {"Home", Qt::Key_Home, 7},
        {"Up", Qt::Key_Up, 8},         {"PgUp", Qt::Key_PageUp, 9}, {"Insert", Qt::Key_Insert, 10},
    };
    for (const auto &nav : navigation) {
        addInAllStates(nav.name, nav.key, None, Expect::Participant, nav.participant);
        const QByteArray keypadName = QByteArray("keypad ") + nav.name;
        addInAllStates(keypadName.constData(), nav.key, Keypad, Expect::Participant, nav.participant);
    }
    // Keypad 5 with Num Lock off books nobody.
    addInAllStates("keypad 5 without Num Lock", Qt::Key_Clear, Keypad, Expect::Unbound);
    addInAllStates("Clear", Qt::Key_Clear, None, Expect::Unbound);
    addInAllStates("Shift+Home", Qt::Key_Home, Shift, Expect::Unbound);
    addInAllStates("Ctrl+Left", Qt::Key_Left, Ctrl, Expect::Unbound);

    // Ctrl+Z takes a lap back during a session; otherwise the fields keep their own undo.
    addPerState("Ctrl+Z", Qt::Key_Z, Ctrl, [](const Binding &b) {
        return b.digits ? Outcome{Expect::Undo, 0} : Outcome{Expect::Unbound, 0};
    });

    // The live views open in every state; Shift+W alone stays a letter.
    addInAllStates("Ctrl+W", Qt::Key_W, Ctrl, Expect::Scoreboard);
    addInAllStates("Ctrl+Shift+W", Qt::Key_W, Ctrl | Shift, Expect::LiveResults);
    addInAllStates("Shift+W", Qt::Key_W, Shift, Expect::Unbound);
    addInAllStates("Ctrl+Alt+W", Qt::Key_W, Ctrl | Alt, Expect::Unbound);
    addInAllStates("Ctrl+K", Qt::Key_K, Ctrl, Expect::Corrections);
    addInAllStates("K", Qt::Key_K, None, Expect::Unbound);
    // Publishing to the internet goes on and off in every state, a race running or not;
    // Ctrl+U alone and Shift+U stay free.
    addInAllStates("Ctrl+Shift+U", Qt::Key_U, Ctrl | Shift, Expect::Publish);
    addInAllStates("Ctrl+U", Qt::Key_U, Ctrl, Expect::Unbound);
    addInAllStates("Shift+U", Qt::Key_U, Shift, Expect::Unbound);
    addInAllStates("Ctrl+Alt+Shift+U", Qt::Key_U, Ctrl | Alt | Shift, Expect::Unbound);

    // Space captures only while capturing is enabled.
    addPerState("Space", Qt::Key_Space, None, [](const Binding &b) {
        return b.space ? Outcome{Expect::Capture, 0} : Outcome{Expect::Unbound, 0};
    });
    addInAllStates("Shift+Space", Qt::Key_Space, Shift, Expect::Unbound);
    addInAllStates("Ctrl+Space", Qt::Key_Space, Ctrl, Expect::Unbound);

    // Other keys the operator may type into fields.
    addInAllStates("Return", Qt::Key_Return, None, Expect::Unbound);
    addInAllStates("Tab", Qt::Key_Tab, None, Expect::Unbound);
    addInAllStates("Backspace", Qt::Key_Backspace, None, Expect::Unbound);
    addInAllStates("colon", Qt::Key_Colon, None, Expect::Unbound);
}

void TestCommandMap::lookup()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, digitKeysBound);
    QFETCH(bool, spaceBound);
    QFETCH(Expect, expect);
    QFETCH(int, participant);

    KeyBindingState state;
    state.digitKeysBound = digitKeysBound;
    state.spaceBound = spaceBound;

    const std::optional<Command> actual = CommandMap::lookup(key, modifiers, state);
    const std::optional<Command> expected = expectedCommand(expect, participant);
    QVERIFY2(actual == expected,
             qPrintable(QStringLiteral("got %1, expected %2").arg(describe(actual), describe(expected))));
}

QTEST_GUILESS_MAIN(TestCommandMap)
#include "testcommandmap.moc"
