#include "core/TickSource.h"
#include "platform/Shell.h"
#include "platform/SoundPlayer.h"
#include "ui/PressButton.h"
#include "ui/QuestionAsker.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>

using Col = StandingsGrid::Column;

namespace {

class FakeSound final : public SoundPlayer
{
public:
    void play(const QString &fileName) override { played << fileName; }
    QStringList played;
};

class FakeShell final : public Shell
{
public:
    bool open(const QString &pathOrUrl) override
    {
        opened << pathOrUrl;
        return true;
    }
    QStringList opened;
};

class FakeAsker final : public QuestionAsker
{
public:
    bool ask(const QString &question, bool focusNo) override
    {
        asked << question;
        lastFocusNo = focusNo;
        return answer;
    }
    QStringList asked;
    bool answer = true;
    bool lastFocusNo = false;
};

} // namespace

// The real main window on the offscreen platform: keys and buttons reach the race.
class TestFormMain : public QObject
{
    Q_OBJECT

    ManualTickSource clock{100000};
    FakeSound sound;
    FakeAsker asker;
    FakeShell shell;
    std::unique_ptr<TFormMain> form;

    // A key as the operator types it: delivered to whatever has the focus.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    const RaceCore &core() const { return form->core(); }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        clock.set(100000);
        sound.played.clear();
        asker.asked.clear();
        asker.answer = true;
        shell.opened.clear();
        form = std::make_unique<TFormMain>(clock, sound, shell);
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
