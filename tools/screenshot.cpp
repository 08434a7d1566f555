// Puts the main window into a representative race state on a simulated clock and saves
// a picture of it: a few participants booked, the last one highlighted, one overdue,
// pass times waiting to be assigned. Given a second file, it also saves the scoreboard
// in the same state, at 1280x720; given a third, the corrections window with a struck lap.

#include "core/TickSource.h"
#include "platform/LinuxSerialDevice.h"
#include "platform/PagePrinter.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "app/Program.h"
#include "ui/CorrectionsWindow.h"
#include "ui/Scoreboard.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class Silent final : public SoundPlayer
{
public:
    void play(const QString &) override {}
};

class NoShell final : public Shell
{
public:
    bool open(const QString &) override { return false; }
};

class NoPrinter final : public PagePrinter
{
    Q_OBJECT

public:
    void print(const QString &) override {}
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s picture.png [scoreboard.png [corrections.png]]\n", argv[0]);
        return 2;
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    auto ownedClock = std::make_unique<ManualTickSource>(7200000);
    ManualTickSource &clock = *ownedClock;
    Silent sound;
    NoShell shell;
    NoPrinter printer;
    // A fresh settings store, so that the picture shows the program as first started.
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("Chronolauf.conf")), QSettings::IniFormat);
    // A fresh store opens no port.
    Program program({std::move(ownedClock), sound, shell, printer, std::make_unique<LinuxSerialDevice>(), dir.filePath(QStringLiteral("journal"))}, store);
    TFormMain &form = program.mainWindow();
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        return 1;

    form.meTimeWarn->selectAll();
    QTest::keyClicks(form.meTimeWarn, QStringLiteral("0200"));
    form.eTitle->selectAll();
    QTest::keyClicks(form.eTitle, QStringLiteral("24-Stunden-Lauf Stadtpark"));
    const auto command = [&form](Command::Id id, int participant = 0) { form.runCommand(Command{id, participant}); };
    command(Command::Id::Start);

    // Three laps of twelve participants; participant 9 has not come round for a while.
    const int pace[] = {0, 61000, 63500, 60200, 66000, 64800, 70500, 62900, 68000, 75000, 65500, 67000, 71000};
    std::vector<std::pair<std::int64_t, int>> passes;
    for (int p = 1; p <= 12; ++p) {
        for (int lap = 1; lap <= (p == 9 ? 1 : 3); ++lap)
            passes.emplace_back(std::int64_t(lap) * pace[p] + p * 700, p);
    }
    std::sort(passes.begin(), passes.end());
    for (const auto &[pass, p] : passes) {
        clock.set(std::uint32_t(7200000 + pass));
        command(Command::Id::Capture);
        command(Command::Id::Participant, p);
    }
    // Two passes wait for their participants.
    clock.advance(4200);
    command(Command::Id::Capture);
    clock.advance(1300);
    command(Command::Id::Capture);
    clock.advance(800);

    QTest::qWait(600);
    if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc < 3)
        return 0;

    command(Command::Id::Scoreboard);
    Scoreboard *board = program.scoreboard();
    board->resize(1280, 720);
    QTest::qWait(100);
    if (!board->grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    if (argc < 4)
        return 0;

    // Participant 3's second lap was a double count: struck, with its reason, as the operator does it.
    CorrectionsWindow &corrections = *form.Corrections;
    corrections.setOperatorName(QStringLiteral("Jutta"));
    corrections.open(3);
    for (QLineEdit *edit : corrections.findChildren<QLineEdit *>()) {
        if (edit->accessibleName() == QStringLiteral("Grund:"))
            QTest::keyClicks(edit, QStringLiteral("Lichtschranke doppelt ausgeloest"));
    }
    for (QTableWidget *laps : corrections.findChildren<QTableWidget *>()) {
        if (laps->accessibleName() == QStringLiteral("Runden"))
            laps->selectRow(1);
    }
    for (QPushButton *button : corrections.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Streichen"))
            button->click();
    }
    // Unselected, the struck lap shows greyed as the operator sees it afterwards.
    for (QTableWidget *laps : corrections.findChildren<QTableWidget *>())
        laps->clearSelection();
    corrections.resize(760, 420);
    QTest::qWait(100);
    if (!corrections.grab().save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

#include "screenshot.moc"
