#include "Fakes.h"
#include "core/RaceCore.h"
#include "session/RaceSession.h"
#include "session/SessionTimers.h"
#include "core/TickSource.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "ui/PressButton.h"
#include "ui/QuestionAsker.h"
#include "ui/TFormInfo.h"
#include "ui/GridView.h"
#include "ui/TFormMain.h"
#include "core/GridLayout.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QStatusBar>

using Col = StandingsGrid::Column;
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)


// The real main window on the offscreen platform: keys and buttons reach the race.
class TestFormMain : public QObject
{
    Q_OBJECT

    ManualTickSource clock{100000};
    FakeSound sound;
    FakeAsker asker;
    FakeShell shell;
    FakePrinter printer;
    // The session outlives the window, as in the program.
    std::unique_ptr<RaceSession> session;
    std::unique_ptr<SessionTimers> timers;
    std::unique_ptr<TFormMain> form;

    // A key as the operator types it: delivered to whatever has the focus.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    const RaceCore &core() const { return form->core(); }

    // Results pages go to the current directory: a temporary one here.
    QTemporaryDir workDir;

private slots:
    void initTestCase() { QVERIFY(workDir.isValid() && QDir::setCurrent(workDir.path())); }

    void init()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        clock.set(100000);
        sound.played.clear();
        asker.asked.clear();
        asker.answer = true;
        asker.whileAsking = nullptr;
        printer.outcome = FakePrinter::Outcome::Printed;
        shell.opened.clear();
        printer.printed.clear();
        session = std::make_unique<RaceSession>(std::make_unique<ClockView>(clock));
        connect(session.get(), &RaceSession::soundRequested, this, [this](RaceObserver::Sound s) {
            sound.play(QString::fromLatin1(s == RaceObserver::Sound::Gong ? TFormMain::GongSound : TFormMain::ContactSound));
        });
        timers = std::make_unique<SessionTimers>(*session);
        form = std::make_unique<TFormMain>(*session, TFormMain::Services{shell, printer});
        form->setDialogs(&asker, nullptr);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup()
    {
        form.reset();
        timers.reset();
        session.reset();
    }

    void showsIdleWindow()
    {
        QCOMPARE(form->bSTART2->text(), QStringLiteral("START"));
        QCOMPARE(form->meTime->text(), QStringLiteral("04:00:00"));
        QCOMPARE(form->meTimeWarn->text(), QStringLiteral("00:30"));
        QCOMPARE(form->eTitle->text(), QStringLiteral("Circuit de Monaco, Monte Carlo"));
        QVERIFY(!form->bZeit->isEnabled());
        QVERIFY(form->ImageGong->isHidden());
        QCOMPARE(form->StatusPanels[3]->text(), QStringLiteral("0"));
        QCOMPARE(form->SortGrid1->model()->rowCount(), 20);
        QCOMPARE(form->SortGrid1->model()->headerData(11, Qt::Horizontal).toString(), QStringLiteral("Ges. Zeit"));
        QCOMPARE(form->SortGrid1->model()->index(10, Col::Key).data().toString(), QStringLiteral("F1"));
        QVERIFY(!form->eTime->text().isEmpty());
    }

    void raceFromTheKeyboard()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(core().sessionState(), SessionState::Running);
        QVERIFY(asker.asked.isEmpty());
        QCOMPARE(form->bSTART2->text(), QStringLiteral("ENDE"));
        QVERIFY(timers->runningTimes().isActive());
        QVERIFY(timers->countdown().isActive());
        QVERIFY(form->ListBoxTime->hasFocus());

        clock.advance(65430);
        press(Qt::Key_Space);
        QCOMPARE(sound.played, QStringList{QStringLiteral("Ton-Kontakt.wav")});
        QCOMPARE(form->ListBoxTime->model()->rowCount(), 1);
        QCOMPARE(form->ListBoxTime->model()->index(0, 0).data().toString(), QStringLiteral("1:05,43"));
        QCOMPARE(form->ListBoxTime->currentIndex().row(), 0);
        QCOMPARE(form->StatusPanels[3]->text(), QStringLiteral("1"));

        clock.advance(2000);
        press(Qt::Key_3);
        QCOMPARE(core().table().lapCount(3), 1);
        QCOMPARE(form->SortGrid1->model()->index(0, Col::Key).data().toString(), QStringLiteral("3"));
        QCOMPARE(form->SortGrid1->model()->index(0, Col::TotalTime).data().toString(), QStringLiteral("1:05,43"));
        QCOMPARE(form->StatusPanels[3]->text(), QStringLiteral("0"));

        press(Qt::Key_F1); // no pending time: the key press is the pass
        QCOMPARE(core().table().lapCount(11), 1);

        press(Qt::Key_S, Qt::AltModifier);
        QCOMPARE(core().sortPosition(), 1);

        press(Qt::Key_Space);
        press(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(core().pending().count(), 0);

        // Declining the stop question keeps the race running; it starts with "Nein" focused.
        asker.answer = false;
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(asker.asked, QStringList{QStringLiteral("Alle Zeiten stoppen?")});
        QVERIFY(asker.lastFocusNo);
        QCOMPARE(core().sessionState(), SessionState::Running);

        asker.answer = true;
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(core().sessionState(), SessionState::Ended);
        QCOMPARE(form->bSTART2->text(), QStringLiteral("00:00"));
        QVERIFY(!timers->runningTimes().isActive());

        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(asker.asked.last(), QStringLiteral("Haben Sie das Protokoll gespeichert?"));
        QCOMPARE(core().sessionState(), SessionState::Idle);
    }

    void runningTimesTickAndGong()
    {
        form->meTime->setFocus();
        form->meTime->selectAll();
        QTest::keyClicks(form->meTime, QStringLiteral("2"));
        QTest::keyClick(form->meTime, Qt::Key_Return);
        QCOMPARE(form->meTime->text(), QStringLiteral("00:00:02"));

        QTest::mouseClick(form->bSTART2, Qt::LeftButton);
        QCOMPARE(core().sessionState(), SessionState::Running);
        clock.advance(1230);
        QTRY_COMPARE(form->SortGrid1->model()->index(4, Col::CurrentTime).data().toString(), QStringLiteral("0:01,23"));
        clock.advance(1000);
        QTRY_VERIFY(form->ImageGong->isVisible());
        QTRY_COMPARE(form->meTime->text(), QStringLiteral("00:00:00"));
        QVERIFY(sound.played.contains(QStringLiteral("Ton-Counter.wav")));
    }

    void captureButtonActsOnPress()
    {
        QTest::mousePress(form->bSTART2, Qt::RightButton);
        QCOMPARE(core().sessionState(), SessionState::Running);
        QTest::mousePress(form->bZeit, Qt::LeftButton);
        QTest::mouseRelease(form->bZeit, Qt::LeftButton);
        QCOMPARE(core().pending().count(), 1);
    }

    void keysReachTheFocusedFieldWhenUnbound()
    {
        // Outside a session the main digits and Space type into the title field; keypad digits do not.
        form->eTitle->setFocus();
        form->eTitle->clear();
        press(Qt::Key_2);
        press(Qt::Key_Space);
        press(Qt::Key_4);
        press(Qt::Key_7, Qt::KeypadModifier);
        QCOMPARE(form->eTitle->text(), QStringLiteral("2 4"));
        QCOMPARE(core().title(), QStringLiteral("2 4"));
        QCOMPARE(core().pending().count(), 0);
    }

    void boundKeysAreConsumedEvenWhenTheyCannotAct()
    {
        form->eTitle->setFocus();
        form->eTitle->clear();
        press(Qt::Key_F3);
        press(Qt::Key_Home);
        QCOMPARE(form->eTitle->text(), QString());
        QCOMPARE(form->eTitle->cursorPosition(), 0);
    }

    void durationFieldTakesDigitsOnly()
    {
        form->meTime->setFocus();
        form->meTime->clear();
        QTest::keyClicks(form->meTime, QStringLiteral("1a:3.0x"));
        QCOMPARE(form->meTime->text(), QStringLiteral("1:30"));
        QTest::keyClick(form->meTime, Qt::Key_Return);
        QCOMPARE(form->meTime->text(), QStringLiteral("00:01:30"));
        QCOMPARE(core().raceDuration(), 90);
    }

    void participantKeysDuringSession_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("participant");
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
        for (int d = 0; d <= 9; ++d) {
            const int p = d == 0 ? 10 : d;
            QTest::addRow("digit %d", d) << int(Qt::Key_0 + d) << none << p;
            QTest::addRow("keypad %d", d) << int(Qt::Key_0 + d) << keypad << p;
        }
        const struct
        {
            const char *name;
            int key;
            int participant;
        } navigation[] = {{"End", Qt::Key_End, 1},     {"Down", Qt::Key_Down, 2},   {"PgDn", Qt::Key_PageDown, 3},
                          {"Left", Qt::Key_Left, 4},   {"Right", Qt::Key_Right, 6}, {"Home", Qt::Key_Home, 7},
                          {"Up", Qt::Key_Up, 8},       {"PgUp", Qt::Key_PageUp, 9}, {"Insert", Qt::Key_Insert, 10}};
        for (const auto &nav : navigation) {
            QTest::addRow("%s", nav.name) << nav.key << none << nav.participant;
            QTest::addRow("keypad %s", nav.name) << nav.key << keypad << nav.participant;
        }
        for (int f = 1; f <= 10; ++f)
            QTest::addRow("F%d", f) << int(Qt::Key_F1 + f - 1) << none << 10 + f;
    }

    void participantKeysDuringSession()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, participant);
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(30000);
        press(Qt::Key_Space);
        QCOMPARE(core().pending().count(), 1);
        const int row = form->ListBoxTime->currentIndex().row();
        press(key, modifiers);
        QCOMPARE(core().table().CurrentParticipant, participant);
        QCOMPARE(core().table().lapCount(participant), 1);
        QCOMPARE(core().pending().count(), 0);
        QCOMPARE(row, 0);
    }

    void keypadFiveWithoutNumLockBooksNobody()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(30000);
        press(Qt::Key_Clear, Qt::KeypadModifier);
        QCOMPARE(core().table().CurrentParticipant, 0);
        QCOMPARE(core().table().LeaderLaps(), 0);
    }

    void navigationKeysNeverMoveTheGridSelection()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        form->SortGrid1->setFocus();
        const QModelIndex before = form->SortGrid1->currentIndex();
        press(Qt::Key_Down);
        QCOMPARE(form->SortGrid1->currentIndex(), before);
        QCOMPARE(core().table().lapCount(2), 1);
    }

    void keysOutsideSession_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("title");
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        QTest::newRow("digit reaches the field") << int(Qt::Key_7) << none << "ab7";
        QTest::newRow("zero reaches the field") << int(Qt::Key_0) << none << "ab0";
        QTest::newRow("space reaches the field") << int(Qt::Key_Space) << none << "ab ";
        QTest::newRow("keypad digit is taken") << int(Qt::Key_7) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "ab";
        QTest::newRow("F-key is taken") << int(Qt::Key_F3) << none << "ab";
        QTest::newRow("Home is taken") << int(Qt::Key_Home) << none << "ab";
        QTest::newRow("Backspace reaches the field") << int(Qt::Key_Backspace) << none << "a";
        QTest::newRow("Alt+I is taken") << int(Qt::Key_I) << Qt::KeyboardModifiers(Qt::AltModifier) << "ab";
        QTest::newRow("Ctrl+Del is taken") << int(Qt::Key_Delete) << Qt::KeyboardModifiers(Qt::ControlModifier) << "ab";
    }

    void keysOutsideSession()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        form->eTitle->setFocus();
        form->eTitle->setText(QStringLiteral("ab"));
        form->eTitle->setCursorPosition(2);
        press(key, modifiers);
        QTEST(form->eTitle->text(), "title");
        QCOMPARE(core().table().CurrentParticipant, 0);
        QCOMPARE(core().table().LeaderLaps(), 0);
    }

    void helpOpensTheManual()
    {
        press(Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(shell.opened.size(), 1);
        QCOMPARE(QFileInfo(shell.opened.first()).fileName(), QStringLiteral("Chronolauf-Handbuch.html"));
        QTest::mouseClick(form->sbHelp, Qt::LeftButton);
        QCOMPARE(shell.opened.size(), 2);
    }

    void helpPrefersTheChmBesideTheProgram()
    {
        const QFileInfo program(QCoreApplication::applicationFilePath());
        const QString chm = program.dir().filePath(program.completeBaseName() + QStringLiteral(".chm"));
        QFile file(chm);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        press(Qt::Key_H, Qt::ControlModifier);
        QFile::remove(chm);
        QCOMPARE(shell.opened, QStringList{chm});
    }

    void wordMarkOpensTheWebAddress()
    {
        QTest::mouseClick(form->Label14, Qt::LeftButton);
        QTest::mouseClick(form->Label12, Qt::LeftButton);
        QCOMPARE(shell.opened, QStringList({form->webAddress(), form->webAddress()}));
        QVERIFY(form->webAddress().contains(QStringLiteral(".example")));
    }

    void infoBoxFromKeyAndButton()
    {
        TFormInfo info(form.get(), shell, form->webAddress());
        form->setDialogs(&asker, &info);
        int shown = 0;
        const auto closeWhenShown = [&shown] {
            QTimer::singleShot(0, [&shown] {
                if (auto *box = qobject_cast<TFormInfo *>(QApplication::activeModalWidget())) {
                    ++shown;
                    QTest::keyClick(box, Qt::Key_Escape);
                }
            });
        };
        closeWhenShown();
        press(Qt::Key_I, Qt::ControlModifier);
        closeWhenShown();
        QTest::mouseClick(form->bInfo, Qt::LeftButton);
        QCOMPARE(shown, 2);
        QVERIFY(info.isHidden());
        form->setDialogs(&asker, nullptr);
    }

    void resultsPageInTheBrowser()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(61230);
        press(Qt::Key_7);
        QTest::mouseClick(form->sbWeb, Qt::LeftButton);
        const QString page = QDir::current().absoluteFilePath(QStringLiteral("testformmain.html"));
        QCOMPARE(TFormMain::ProtocolFileName(), QStringLiteral("testformmain.html"));
        QCOMPARE(shell.opened, QStringList{page});
        QFile file(page);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray html = file.readAll();
        QVERIFY(html.contains("<td>1.</td><td></td><td></td><td>1</td><td>1:01,23</td><td>-</td><td>-</td><td>1:01,23</td>"));
        QVERIFY(html.contains("size=3><b>Training<br>"));
        // The German date with its four-digit year, as the system writes it.
        QVERIFY(html.contains(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")).toLatin1()));
    }

    // Printing goes straight to the default printer: nothing modal holds up the keys.
    void printWithoutADialog_data()
    {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        QTest::newRow("printed") << int(FakePrinter::Outcome::Printed) << "Gedruckt: Testdrucker";
        QTest::newRow("no printer") << int(FakePrinter::Outcome::NoPrinter) << "Kein Drucker eingerichtet";
    }

    void printWithoutADialog()
    {
        QFETCH(int, outcome);
        printer.outcome = FakePrinter::Outcome(outcome);
        press(Qt::Key_S, Qt::ControlModifier);
        press(Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(printer.printed, QStringList{QDir::current().absoluteFilePath(QStringLiteral("testformmain.html"))});
        QVERIFY(shell.opened.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_COMPARE(form->StatusPanels[1]->text(), QTest::currentDataTag() == QByteArray("printed")
                                                         ? QStringLiteral("Gedruckt: Testdrucker")
                                                         : QStringLiteral("Kein Drucker eingerichtet"));
        QTEST(form->StatusPanels[1]->text(), "message");
        // The race goes on at once.
        press(Qt::Key_Space);
        QCOMPARE(core().pending().count(), 1);
    }

    void statusMessagesClear()
    {
        QCOMPARE(form->TimerMessage->interval(), 10000);
        form->TimerMessage->setInterval(20);
        form->showMessage(QStringLiteral("Gedruckt: Testdrucker"));
        QVERIFY(!form->StatusPanels[1]->text().isEmpty());
        QTRY_VERIFY(form->StatusPanels[1]->text().isEmpty());
    }

    void journalErrorClears_data()
    {
        QTest::addColumn<QStringList>("meanwhile"); // messages that come while the error shows
        QTest::addColumn<bool>("messageShowing");   // a message showed when the error came
        QTest::newRow("nothing meanwhile") << QStringList{} << false;
        QTest::newRow("two messages wait") << QStringList{QStringLiteral("Lichtschranke getrennt: /dev/ttyS2"), QStringLiteral("Gedruckt: Testdrucker")} << false;
        QTest::newRow("an empty message is no message") << QStringList{QString(), QStringLiteral("Gedruckt: Testdrucker")} << false;
        QTest::newRow("the error came over a message") << QStringList{QStringLiteral("Gedruckt: Testdrucker")} << true;
        QTest::newRow("a line that comes and goes waits once, as it is now")
            << QStringList{QStringLiteral("Lichtschranke getrennt: /dev/ttyS2"), QStringLiteral("Lichtschranke wieder verbunden"),
                           QStringLiteral("Lichtschranke getrennt: /dev/ttyS2")}
            << false;
    }

    // The red journal error stays until the journal is written again, whatever else comes;
    // the messages that came meanwhile follow it in their order, none lost.
    void journalErrorClears()
    {
        QFETCH(QStringList, meanwhile);
        QFETCH(bool, messageShowing);
        form->TimerMessage->setInterval(200);
        QLabel *panel = form->StatusPanels[1];
        if (messageShowing)
            form->showMessage(QStringLiteral("Ergebnis wird geschrieben …"));
        const QString error = QStringLiteral("Journal kann nicht geschrieben werden: No space left on device");
        form->showPersistentError(error);
        for (const QString &message : meanwhile)
            form->showMessage(message);
        QTest::qWait(400);
        QCOMPARE(panel->text(), error);
        QVERIFY(panel->styleSheet().contains(QStringLiteral("red")));

        form->clearPersistentError();
        QVERIFY(panel->styleSheet().isEmpty());
        // A repeated text shows once, where it came last.
        QStringList expected;
        for (auto it = meanwhile.crbegin(); it != meanwhile.crend(); ++it)
            if (!it->isEmpty() && !expected.contains(*it))
                expected.prepend(*it);
        // Each in its turn, the first at once, each for a message's time.
        for (const QString &message : expected) {
            QCOMPARE(panel->text(), message);
            QTRY_VERIFY(panel->text() != message);
        }
        QVERIFY(panel->text().isEmpty());
        // And a new message shows at once again.
        form->showMessage(QStringLiteral("Kein Drucker eingerichtet"));
        QCOMPARE(panel->text(), QStringLiteral("Kein Drucker eingerichtet"));
    }

    // "Ja" to "Alle Zeiten stoppen?" after the session ended by itself behind the question
    // must not wipe the results: it answered a question that no longer applies.
    void lateStopAnswerKeepsTheResults()
    {
        session->submit({.kind = RaceInput::Kind::CarCountChanged, .value = 1});
        session->submit({.kind = RaceInput::Kind::DurationEdited, .text = QStringLiteral("10")});
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(11000);
        session->submit({.kind = RaceInput::Kind::Timer1}); // the gong
        press(Qt::Key_1);                                   // the last runner's last lap
        asker.whileAsking = [this] { session->submit({.kind = RaceInput::Kind::TimerAll}); };
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(asker.asked, QStringList{QStringLiteral("Alle Zeiten stoppen?")});
        QCOMPARE(core().sessionState(), SessionState::Ended);
        QCOMPARE(form->SortGrid1->model()->index(0, Col::Laps).data().toString(), QStringLiteral("1"));
        // The next Ctrl+S asks the question that belongs to the ended session.
        asker.whileAsking = nullptr;
        asker.answer = false;
        press(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(asker.asked.last(), QStringLiteral("Haben Sie das Protokoll gespeichert?"));
        QVERIFY(asker.lastFocusNo);
        QCOMPARE(core().sessionState(), SessionState::Ended);
    }

    // A shutdown without close() (a signal, a restore) destroys the visible window mid-race;
    // the valgrind run of this test shows any read of freed memory.
    void destroyedWhileVisible()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(5000);
        press(Qt::Key_Space);
        form->meTimeWarn->setFocus();
        form.reset();
        session->submit({.kind = RaceInput::Kind::Assign, .value = 2});
        QCOMPARE(session->core().table().lapCount(2), 1);
    }

    void halfTypedWarningTimeGoesBack_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("nothing") << "" << "00:30";
        QTest::newRow("one digit") << "1" << "00:30";
        QTest::newRow("three digits") << "012" << "00:30";
        QTest::newRow("complete") << "0145" << "01:45";
    }

    void halfTypedWarningTimeGoesBack()
    {
        QFETCH(QString, typed);
        form->meTimeWarn->setFocus();
        form->meTimeWarn->selectAll();
        QTest::keyClick(form->meTimeWarn, Qt::Key_Delete);
        QTest::keyClicks(form->meTimeWarn, typed);
        form->eTitle->setFocus();
        QTEST(form->meTimeWarn->text(), "kept");
        QTEST(core().acceptedWarnText(), "kept");
    }

    // The view never shows a pending list without the selection the core books.
    void ctrlClickKeepsThePendingSelection()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        press(Qt::Key_Space);
        clock.advance(1000);
        press(Qt::Key_Space);
        QListView *list = form->ListBoxTime;
        const QRect second = list->visualRect(list->model()->index(1, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
        QCOMPARE(core().pending().selectedIndex(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, second.center());
        QCOMPARE(core().pending().selectedIndex(), 1);
        const QModelIndexList shown = list->selectionModel()->selectedIndexes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().row(), 1);
    }

    // Ctrl+Z at the line: the lap goes, its pass waits again, and the status bar says so.
    void undoFromTheKeyboard()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(62340);
        press(Qt::Key_7);
        QCOMPARE(core().table().lapCount(7), 1);
        press(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(core().table().lapCount(7), 0);
        QCOMPARE(form->ListBoxTime->currentIndex().data().toString(), QStringLiteral("1:02,34"));
        QCOMPARE(form->StatusPanels[1]->text(), QStringLiteral("Runde von 7 zurückgenommen: 1:02,34"));
    }

    void hundredHoursShowInTheCounter()
    {
        form->meTime->setFocus();
        form->meTime->selectAll();
        QTest::keyClicks(form->meTime, QStringLiteral("123:45:00"));
        QTest::keyClick(form->meTime, Qt::Key_Return);
        QCOMPARE(form->meTime->text(), QStringLiteral("123:45:00"));
        QVERIFY(QFontMetrics(form->meTime->font()).horizontalAdvance(form->meTime->text())
                <= form->meTime->contentsRect().width());
    }

    void unwritablePageIsReportedAndNotShown()
    {
        // An older page must never be shown as if it were current, and no box may stop the
        // race keys: the status bar says it.
        QFile::remove(QStringLiteral("testformmain.html"));
        QVERIFY(QDir::current().mkpath(QStringLiteral("testformmain.html")));
        bool modal = false;
        QTimer::singleShot(0, [&modal] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                modal = true;
                box->close();
            }
        });
        press(Qt::Key_P, Qt::ControlModifier);
        QTest::qWait(10);
        QDir::current().rmdir(QStringLiteral("testformmain.html"));
        QVERIFY(!modal);
        QVERIFY2(form->StatusPanels[1]->text().startsWith(QStringLiteral("Ergebnisseite nicht geschrieben: testformmain.html (")),
                 qPrintable(form->StatusPanels[1]->text()));
        QVERIFY(printer.printed.isEmpty());
        QVERIFY(shell.opened.isEmpty());
    }

    void lockKeyTogglesTheBarriers()
    {
        QVERIFY(!core().controls().barriersArmed);
        press(Qt::Key_L, Qt::ControlModifier);
        QVERIFY(core().controls().barriersArmed);
        press(Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!core().controls().barriersArmed);
    }

    void controlsFollowTheSession()
    {
        QVERIFY(!form->sbExcel->isEnabled());
        QVERIFY(!form->sbWeb->isEnabled());
        QVERIFY(form->bStartList->isEnabled());
        QVERIFY(form->cbTip->isEnabled());
        press(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(form->sbExcel->isEnabled());
        QVERIFY(form->sbWeb->isEnabled());
        QVERIFY(!form->bStartList->isEnabled());
        QVERIFY(!form->cbTip->isEnabled());
        QVERIFY(!form->eTitle->isEnabled());
        QVERIFY(form->meTime->isReadOnly());
    }

    void gridColoursOnScreen()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(60000);
        press(Qt::Key_4);
        QCoreApplication::processEvents();
        const QImage image = form->SortGrid1->viewport()->grab().toImage();
        const auto colourAt = [&](int row, int column) {
            const QRect cell = form->SortGrid1->visualRect(form->SortGrid1->model()->index(row, column));
            return QColor(image.pixel(cell.left() + 3, cell.top() + 3));
        };
        QCOMPARE(colourAt(0, Col::Name), QColor(255, 160, 160)); // the last booked participant's row
        QCOMPARE(colourAt(0, Col::Place), QColor(255, 160, 160));
        QCOMPARE(colourAt(1, Col::Place), QColor(160, 188, 160));
        QCOMPARE(colourAt(1, Col::Name), QColor(Qt::white));
        QCOMPARE(colourAt(1, Col::Laps), QColor(230, 230, 230));
        QCOMPARE(colourAt(1, Col::GapToLeader), QColor(192, 255, 192));
        QCOMPARE(colourAt(1, Col::GapAhead), QColor(255, 255, 192));
        QCOMPARE(colourAt(1, Col::TotalTime), QColor(255, 192, 192));
    }

    void titleRow()
    {
        auto *header = form->SortGrid1->horizontalHeader();
        QCOMPARE(header->height(), GridLayout::TitleRowHeight);
        QCOMPARE(header->sectionSize(Col::Place), 38);
        QCOMPARE(header->sectionSize(Col::CurrentTime), 110);
        QCOMPARE(header->sectionSize(Col::TotalTime), 92);
        QCOMPARE(form->SortGrid1->rowHeight(0), GridLayout::RowHeight + 1);
    }

    // The grid fills its panel at every window size, "Fahrer" takes exactly the width the
    // other columns leave, and the status bar's last panel reaches the right edge.
    void layoutFollowsTheWindow_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::newRow("as started") << QSize();
        QTest::newRow("wider") << QSize(1200, 700);
        QTest::newRow("much taller") << QSize(1100, 1000);
        QTest::newRow("large") << QSize(1600, 1100);
    }

    void layoutFollowsTheWindow()
    {
        QFETCH(QSize, outer);
        if (outer.isValid()) {
            const QSize frame = form->frameGeometry().size() - form->size();
            form->resize(outer - frame);
            QTRY_COMPARE(form->StatusPanels[2]->text(), QStringLiteral("%1x%2").arg(outer.width()).arg(outer.height()));
        }
        auto *header = form->SortGrid1->horizontalHeader();
        int total = 0;
        for (int c = 0; c < StandingsGrid::ColumnCount; ++c) {
            total += header->sectionSize(c);
            if (c != Col::Name)
                QCOMPARE(header->sectionSize(c), GridLayout::ColumnWidths[c]);
        }
        QCOMPARE(total, form->SortGrid1->viewport()->width());
        QCOMPARE(form->SortGrid1->height(), form->SortGrid1->parentWidget()->height());
        QCOMPARE(form->statusBar()->height(), 19);
        QLabel *last = form->StatusPanels[3];
        QCOMPARE(last->mapTo(form.get(), QPoint(last->width(), 0)).x(), form->width());
        QCOMPARE(form->bSTART2->x(), 43);
    }

    void windowFitsEveryParticipantRow()
    {
        const int rowsBottom = form->SortGrid1->visualRect(form->SortGrid1->model()->index(19, 0)).bottom();
        QVERIFY(rowsBottom < form->SortGrid1->viewport()->height());
        QVERIFY(form->minimumHeight() >= form->SortGrid1->height());
    }

    void outFromThePopupMenuAfterStop()
    {
        press(Qt::Key_S, Qt::ControlModifier);
        clock.advance(60000);
        press(Qt::Key_5);
        QVERIFY(!form->mAus->isEnabled());
        press(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(form->mAus->isEnabled());
        form->SortGrid1->setCurrentIndex(form->SortGrid1->model()->index(0, 0));
        form->mAus->trigger();
        QCOMPARE(form->SortGrid1->model()->index(0, Col::CurrentTime).data().toString(), QStringLiteral("AUS"));
        QVERIFY(core().table().LapWord(5) & RaceTable::OutFlag);
    }
};

QTEST_MAIN(TestFormMain)
#include "testformmain.moc"
