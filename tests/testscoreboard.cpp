#include "Fakes.h"
#include "ProgramFixture.h"
#include "live/LiveService.h"
#include "ui/LiveAddressDialog.h"
#include "session/RaceSession.h"
#include "ui/Scoreboard.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QLabel>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// The scoreboard in the running program: opened by Ctrl+W, following the race, and passing
// the race keys on to the main window while it has the keyboard.
class TestScoreboard : public QObject, ProgramFixture
{
    Q_OBJECT

    int paints = 0; // paint events the board has had

    Scoreboard &board() { return *program->scoreboard(); }

    // One column of the board, top row first (0 place, 1 number, 3 laps).
    QStringList column(int c)
    {
        QStringList cells;
        for (const QString &row : board().rowTexts())
            cells << row.section(QLatin1Char('\t'), c, c);
        return cells;
    }

    // Opens the board with Ctrl+W in the main window; it takes the keyboard.
    void openBoard()
    {
        QTest::keyClick(&form(), Qt::Key_W, Qt::ControlModifier);
        QVERIFY(program->scoreboard());
        QVERIFY(QTest::qWaitForWindowActive(&board()));
    }

    // The operator captures a pass with Space and books it with the participant's digit,
    // in whichever window has the keyboard.
    void book(QWidget *keys, int participant)
    {
        QTest::keyClick(keys, Qt::Key_Space);
        QCOMPARE(core().pending().count(), 1);
        QTest::keyClick(keys, Qt::Key(Qt::Key_0 + participant));
        QCOMPARE(core().pending().count(), 0);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (program && watched == program->scoreboard() && event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void init()
    {
        // Any free port for the live page: tests run side by side.
        QVERIFY(startProgram({"Autos=4", "LivePort=0"}));
    }

    void cleanup()
    {
        program.reset();
        clock.set(100000);
    }

    // Ctrl+Shift+W serves the standings on the network and shows where; pressed again, it
    // stops. The address dialog leaves the keyboard with the main window.
    void liveResultsOnAndOff()
    {
        QTest::keyClick(&form(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(program->live());
        QTRY_VERIFY(program->live()->isRunning());
        const QString address = program->live()->address();
        QVERIFY(address.startsWith(QStringLiteral("http://")) && address.endsWith(QStringLiteral("/")));
        QTRY_VERIFY(form().StatusPanels[1]->text().contains(QStringLiteral("Live: ") + address));
        QVERIFY(program->liveAddressDialog() && program->liveAddressDialog()->isVisible());
        QCOMPARE(program->liveAddressDialog()->address(), address);
        QVERIFY(!program->liveAddressDialog()->isModal());
        const QList<QLabel *> labels = program->liveAddressDialog()->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *l) { return !l->pixmap().isNull(); }));
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        book(&form(), 2);

        // The page follows the start and the booking (handed to the server's thread a moment later).
        const auto standings = [this] {
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, program->live()->port());
            client.write("GET /standings.json HTTP/1.1\r\n\r\n");
            QByteArray reply;
            const bool closed = QTest::qWaitFor([&] {
                reply += client.readAll();
                return client.state() == QAbstractSocket::UnconnectedState;
            }, 5000);
            return closed ? reply : QByteArray();
        };
        QTRY_VERIFY(standings().contains("\"state\":\"running\""));
        QVERIFY(standings().startsWith("HTTP/1.1 200 OK\r\n"));

        QTest::keyClick(&form(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!program->live()->isRunning());
        QVERIFY(!form().StatusPanels[1]->text().contains(QStringLiteral("Live: ")));
        QVERIFY(!program->liveAddressDialog()->isVisible());
    }

    // Ctrl+W opens one board, not modal; asked again, it comes to the front again.
    void opensOnce()
    {
        QVERIFY(!program->scoreboard());
        openBoard();
        Scoreboard *first = program->scoreboard();
        QCOMPARE(first->windowTitle(), QStringLiteral("Anzeigetafel"));
        QVERIFY(first->isWindow() && !first->isModal());
        QCOMPARE(column(1), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(board().shown().remainingText, QStringLiteral("04:00:00"));

        form().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form()));
        QTest::keyClick(&form(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(program->scoreboard(), first);
        QVERIFY(QTest::qWaitForWindowActive(first));
    }

    // Bookings and the sort order reach the board, whichever window has the keyboard.
    void followsTheRace_data()
    {
        QTest::addColumn<bool>("keysOnBoard");
        QTest::newRow("keys in the main window") << false;
        QTest::newRow("keys on the board") << true;
    }

    void followsTheRace()
    {
        QFETCH(bool, keysOnBoard);
        openBoard();
        board().installEventFilter(this);
        QWidget *keys = keysOnBoard ? static_cast<QWidget *>(&board()) : &form();
        if (!keysOnBoard) {
            form().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form()));
        }
        QTest::keyClick(keys, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(core().sessionState(), SessionState::Running);
        const QImage started = board().grab().toImage();
        QVERIFY(!started.isNull());

        // Participant 3 leads after one lap of 55 s; participant 1 then runs a second lap.
        const int paintsBefore = paints;
        clock.advance(55000);
        book(keys, 3);
        QTRY_VERIFY_WITH_TIMEOUT(paints > paintsBefore, 100);
        QCOMPARE(column(1).first(), QStringLiteral("3"));
        QVERIFY(board().grab().toImage() != started);
        for (const auto &[ms, participant] : {std::pair{15000, 1}, {5000, 2}, {55000, 1}}) {
            clock.advance(ms);
            book(keys, participant);
        }
        QCOMPARE(column(0), (QStringList{"1.", "2.", "3.", ""})); // no place without a lap
        QCOMPARE(column(1), (QStringList{"1", "3", "2", "4"}));
        QCOMPARE(column(3), (QStringList{"2", "1", "1", ""}));
        QCOMPARE(board().rowTexts().first().section(QLatin1Char('\t'), 4), QStringLiteral("1:00,00\t-\t1:00,00"));

        // Alt+S: by best lap, the rows keep their places.
        QTest::keyClick(keys, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(column(1), (QStringList{"3", "1", "2", "4"}));
        QCOMPARE(column(0), (QStringList{"2.", "1.", "3.", ""}));
        // The booking keys never moved the keyboard to the other window.
        QCOMPARE(QApplication::activeWindow(), keys);
    }

    // The gong reaches the board with the countdown; a lap after it is the last.
    void gongAndFinish()
    {
        openBoard();
        QTest::keyClick(&board(), Qt::Key_S, Qt::ControlModifier);
        clock.advance(4 * 3600 * 1000 + 500);
        program->session().submit({.kind = RaceInput::Kind::Timer1});
        QVERIFY(board().shown().gong);
        QCOMPARE(board().shown().remainingText, QStringLiteral("00:00:00"));
        const QImage gong = board().grab().toImage();
        book(&board(), 2);
        QCOMPARE(column(1).first(), QStringLiteral("2"));
        QVERIFY(board().shown().rows.front().finished);
        QVERIFY(board().grab().toImage() != gong);
    }

    // F11 toggles full screen, Esc closes the board; Ctrl+W brings it back.
    void windowKeys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<bool>("visible");
        QTest::newRow("F11") << QList<int>{Qt::Key_F11} << true << true;
        QTest::newRow("F11 twice") << QList<int>{Qt::Key_F11, Qt::Key_F11} << false << true;
        QTest::newRow("Esc") << QList<int>{Qt::Key_Escape} << false << false;
        QTest::newRow("F11, Esc") << QList<int>{Qt::Key_F11, Qt::Key_Escape} << true << false;
    }

    void windowKeys()
    {
        QFETCH(QList<int>, keys);
        openBoard();
        for (int key : keys)
            QTest::keyClick(&board(), Qt::Key(key));
        QTEST(board().isFullScreen(), "fullScreen");
        QTEST(board().isVisible(), "visible");
        // Neither key is the race's: nothing was booked or captured.
        QCOMPARE(core().pending().count(), 0);

        QTest::keyClick(&form(), Qt::Key_W, Qt::ControlModifier);
        QVERIFY(board().isVisible());
    }
};

QTEST_MAIN(TestScoreboard)
#include "testscoreboard.moc"
