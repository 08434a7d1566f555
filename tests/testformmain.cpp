#include "Fakes.h"
#include "core/TickSource.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "ui/PressButton.h"
#include "ui/QuestionAsker.h"
#include "ui/TFormInfo.h"
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
        shell.opened.clear();
        printer.printed.clear();
        form = std::make_unique<TFormMain>(Services{clock, sound, shell, printer});
        form->setDialogs(&asker, nullptr);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() { form.reset(); }

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
        QVERIFY(form->TimerALL->isActive());
        QVERIFY(form->Timer1->isActive());
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
        QVERIFY(!form->TimerALL->isActive());

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

    void commandsOfLaterVersionsSayTheyAreMissing_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("settings") << int(Qt::Key_E);
        QTest::newRow("starter list") << int(Qt::Key_O);
    }

    void commandsOfLaterVersionsSayTheyAreMissing()
    {
        QFETCH(int, key);
        press(key, Qt::ControlModifier);
        QVERIFY(form->StatusPanels[1]->text().contains(QStringLiteral("noch nicht verfügbar")));
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
        QVERIFY(html.contains(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toLatin1()));
    }

    void printInEveryState()
    {
        press(Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(printer.printed, QStringList{QDir::current().absoluteFilePath(QStringLiteral("testformmain.html"))});
        QVERIFY(shell.opened.isEmpty());
    }

    void unwritablePageIsReportedAndNotShown()
    {
        // An older page must never be shown as if it were current.
        QFile::remove(QStringLiteral("testformmain.html"));
        QVERIFY(QDir::current().mkpath(QStringLiteral("testformmain.html")));
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->windowTitle() + QLatin1Char('|') + box->text();
                box->accept();
            }
        });
        press(Qt::Key_P, Qt::ControlModifier);
        QDir::current().rmdir(QStringLiteral("testformmain.html"));
        QCOMPARE(shown, QStringLiteral("Error|Der Schreibfehler der Datei: testformmain.html"));
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

    void nameColumnAtTheDefaultWidth()
    {
        // 1024 wide inside: the grid gets what the pass-time panel leaves.
        QCOMPARE(form->width(), 1024);
        QCOMPARE(form->minimumWidth(), 1024);
        QCOMPARE(form->SortGrid1->width(), 1024 - 114);
        QCOMPARE(form->SortGrid1->horizontalHeader()->sectionSize(Col::Name), 910 - 773 - 12 - 5);
    }

    void resizingWidensOnlyTheNameColumn()
    {
        auto *header = form->SortGrid1->horizontalHeader();
        QList<int> before;
        for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
            before << header->sectionSize(c);
        // The operator drags the window's outer edges to 1200 x 700; Qt sizes the inside.
        const QSize frame = form->frameGeometry().size() - form->size();
        form->resize(1200 - frame.width(), 700 - frame.height());
        QTRY_COMPARE(form->StatusPanels[2]->text(), QStringLiteral("1200x700"));
        for (int c = 0; c < StandingsGrid::ColumnCount; ++c) {
            if (c == Col::Name)
                QCOMPARE(header->sectionSize(c), GridLayout::NameColumnWidth(form->SortGrid1->width()));
            else
                QCOMPARE(header->sectionSize(c), before[c]);
        }
        QVERIFY(header->sectionSize(Col::Name) > before[Col::Name]);
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
