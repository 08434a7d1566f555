#include "Fakes.h"
#include "core/GridLayout.h"
#include "core/RaceCore.h"
#include "core/TickSource.h"
#include "session/RaceSession.h"
#include "ui/CorrectionsWindow.h"
#include "ui/GridDelegate.h"
#include "ui/GridView.h"
#include "ui/Scoreboard.h"
#include "ui/TCfgDialog.h"
#include "ui/TFormMain.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTest>

using Col = StandingsGrid::Column;

// The corrections window beside a real main window and session: opened by Ctrl+K, driven
// through its fields and buttons as the operator finds them, while the race keys still book.
class TestCorrectionsWindow : public QObject
{
    Q_OBJECT

    ManualTickSource clock{100000};
    FakeAsker asker;
    FakeShell shell;
    FakePrinter printer;
    std::unique_ptr<RaceSession> session;
    std::unique_ptr<TFormMain> form;

    const RaceCore &core() const { return session->core(); }
    CorrectionsWindow &window() { return *form->Corrections; }

    QLineEdit *field(const QString &name)
    {
        for (QLineEdit *edit : window().findChildren<QLineEdit *>())
            if (edit->accessibleName() == name)
                return edit;
        return nullptr;
    }
    QPushButton *button(const QString &text)
    {
        for (QPushButton *b : window().findChildren<QPushButton *>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    QTableWidget *table(const QString &name)
    {
        for (QTableWidget *t : window().findChildren<QTableWidget *>())
            if (t->accessibleName() == name)
                return t;
        return nullptr;
    }
    QString cell(const QString &tableName, int row, int column)
    {
        const QTableWidgetItem *item = table(tableName)->item(row, column);
        return item ? item->text() : QString();
    }
    // The "Rd." cell of a participant in the main grid.
    QString gridLaps(int p) { return form->SortGrid1->model()->index(core().table().RowOfParticipant[p] - 1, Col::Laps).data().toString(); }

    // The operator presses a participant's key in the main window, ms after the last press.
    void book(int p, std::int32_t after)
    {
        clock.advance(std::uint32_t(after));
        QTest::keyClick(form.get(), p == 10 ? Qt::Key_0 : Qt::Key(Qt::Key_0 + p));
    }

    void openOn(int p)
    {
        form->SortGrid1->setCurrentIndex(form->SortGrid1->model()->index(core().table().RowOfParticipant[p] - 1, 0));
        QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier);
        QVERIFY(window().isVisible());
        QCOMPARE(window().participant(), p);
    }

    // Types the reason, picks the lap row and presses the button.
    void act(const QString &action, int row, const QString &reason = QStringLiteral("Doppelt gezaehlt"))
    {
        QTest::keyClicks(field(QStringLiteral("Grund:")), reason);
        table(QStringLiteral("Runden"))->selectRow(row);
        QTest::mouseClick(button(action), Qt::LeftButton);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    // Participant 2 three laps of a minute, participant 4 one lap.
    void init()
    {
        clock.set(100000);
        asker.answer = true;
        session = std::make_unique<RaceSession>(std::make_unique<ClockView>(clock));
        form = std::make_unique<TFormMain>(*session, TFormMain::Services{shell, printer});
        form->setDialogs(&asker, nullptr);
        form->Corrections->setOperatorName(QStringLiteral("Jutta"));
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
        book(2, 60000);
        book(4, 5000);
        book(2, 55000);
        book(2, 60000);
        QCOMPARE(core().table().lapCount(2), 3);
    }

    void cleanup()
    {
        form.reset();
        session.reset();
    }

    void opensWithoutBlockingTheMainWindow()
    {
        openOn(2);
        QVERIFY(!window().isModal());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(window().parentWidget(), form.get());
        QCOMPARE(field(QStringLiteral("Teilnehmer:"))->text(), QStringLiteral("2"));
        QCOMPARE(table(QStringLiteral("Runden"))->rowCount(), 3);
        QCOMPARE(cell(QStringLiteral("Runden"), 1, CorrectionsWindow::PassTime), QStringLiteral("2:00,00"));
        QCOMPARE(cell(QStringLiteral("Runden"), 1, CorrectionsWindow::LapTime), QStringLiteral("1:00,00"));
        QCOMPARE(cell(QStringLiteral("Runden"), 1, CorrectionsWindow::Source), QStringLiteral("Taste"));

        // The field switches to another participant; one that does not exist leaves it be.
        QLineEdit *who = field(QStringLiteral("Teilnehmer:"));
        who->selectAll();
        QTest::keyClicks(who, QStringLiteral("25"));
        QTest::keyClick(who, Qt::Key_Return);
        QCOMPARE(window().participant(), 2);
        QVERIFY(window().message().contains(QStringLiteral("gibt es nicht")));
        who->selectAll();
        QTest::keyClicks(who, QStringLiteral("4"));
        QTest::keyClick(who, Qt::Key_Return);
        QCOMPARE(window().participant(), 4);
        QCOMPARE(table(QStringLiteral("Runden"))->rowCount(), 1);

        window().hide();
        QTest::mouseClick(form->bCorrections, Qt::LeftButton);
        QVERIFY(window().isVisible());
        QCOMPARE(form->bCorrections->toolTip(), QStringLiteral("[Ctrl+K] Korrekturen"));
    }

    void strikeRestoreMoveInsert()
    {
        openOn(2);
        act(QStringLiteral("Streichen"), 1);
        QCOMPARE(cell(QStringLiteral("Runden"), 1, CorrectionsWindow::Hint), QStringLiteral("gestrichen"));
        QCOMPARE(table(QStringLiteral("Runden"))->item(1, CorrectionsWindow::Hint)->foreground().color(), QColor(Qt::gray));
        QCOMPARE(gridLaps(2), QStringLiteral("2"));
        // The reason served this correction: the next one needs its own.
        QVERIFY(field(QStringLiteral("Grund:"))->text().isEmpty());
        QVERIFY(!button(QStringLiteral("Streichen"))->isEnabled());
        QCOMPARE(core().corrections().back().operatorName, QStringLiteral("Jutta"));
        QCOMPARE(core().corrections().back().reason, QStringLiteral("Doppelt gezaehlt"));

        act(QStringLiteral("Wiederherstellen"), 1);
        QCOMPARE(cell(QStringLiteral("Runden"), 1, CorrectionsWindow::Hint), QString());
        QCOMPARE(gridLaps(2), QStringLiteral("3"));

        QTest::keyClicks(field(QStringLiteral("nach Teilnehmer:")), QStringLiteral("4"));
        act(QStringLiteral("Umbuchen"), 2);
        QCOMPARE(gridLaps(2), QStringLiteral("2"));
        QCOMPARE(gridLaps(4), QStringLiteral("2"));
        QCOMPARE(table(QStringLiteral("Runden"))->rowCount(), 2);

        QTest::keyClicks(field(QStringLiteral("Zeit:")), QStringLiteral("2:30,00"));
        act(QStringLiteral("Nachtragen"), 0);
        QCOMPARE(gridLaps(2), QStringLiteral("3"));
        QCOMPARE(cell(QStringLiteral("Runden"), 2, CorrectionsWindow::PassTime), QStringLiteral("2:30,00"));
        QCOMPARE(cell(QStringLiteral("Runden"), 2, CorrectionsWindow::Source), QStringLiteral("Nachgetragen"));
        QCOMPARE(table(QStringLiteral("Protokoll"))->rowCount(), 4);
        QCOMPARE(cell(QStringLiteral("Protokoll"), 3, 3), QStringLiteral("Nachtragen"));
    }

    void refusedInputChangesNothing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown participant") << "Umbuchen" << "25" << "" << "Teilnehmer „25“ gibt es nicht.";
        QTest::newRow("unreadable participant") << "Umbuchen" << "x" << "" << "Teilnehmer „x“ gibt es nicht.";
        QTest::newRow("same participant") << "Umbuchen" << "2" << "" << "Die Runde gehört schon 2.";
        QTest::newRow("not a time") << "Nachtragen" << "" << "2:3x" << "„2:3x“ ist keine Zeit; bitte als M:SS,cc oder H:MM:SS,cc eingeben.";
        QTest::newRow("after now") << "Nachtragen" << "" << "59:00,00" << "Die Zeit liegt nach dem Ende des Rennens.";
        QTest::newRow("not struck") << "Wiederherstellen" << "" << "" << "Die Runde ist nicht gestrichen.";
    }

    void refusedInputChangesNothing()
    {
        QFETCH(QString, action);
        QFETCH(QString, target);
        QFETCH(QString, time);
        QFETCH(QString, message);
        openOn(2);
        const auto rows = core().lapRows(2);
        QTest::keyClicks(field(QStringLiteral("nach Teilnehmer:")), target);
        QTest::keyClicks(field(QStringLiteral("Zeit:")), time);
        act(action, 0);
        QCOMPARE(window().message(), message);
        QCOMPARE(core().lapRows(2), rows);
        QVERIFY(core().corrections().empty());
        // The reason stays for the corrected attempt.
        QCOMPARE(field(QStringLiteral("Grund:"))->text(), QStringLiteral("Doppelt gezaehlt"));
    }

    void emptyReasonKeepsTheButtonsDisabled()
    {
        openOn(2);
        QTest::keyClicks(field(QStringLiteral("Grund:")), QStringLiteral("   "));
        table(QStringLiteral("Runden"))->selectRow(0);
        for (const char *text : {"Streichen", "Wiederherstellen", "Umbuchen", "Nachtragen"}) {
            QVERIFY(!button(QString::fromUtf8(text))->isEnabled());
            QTest::mouseClick(button(QString::fromUtf8(text)), Qt::LeftButton);
        }
        QVERIFY(core().corrections().empty());
        QTest::keyClicks(field(QStringLiteral("Grund:")), QStringLiteral("x"));
        QVERIFY(button(QStringLiteral("Streichen"))->isEnabled());
    }

    void noLapMovesOntoAParticipantMarkedOut()
    {
        QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier); // ends the race
        QCOMPARE(core().sessionState(), SessionState::Ended);
        form->SortGrid1->setCurrentIndex(form->SortGrid1->model()->index(core().table().RowOfParticipant[4] - 1, 0));
        form->mAus->trigger();
        QCOMPARE(form->SortGrid1->model()->index(core().table().RowOfParticipant[4] - 1, Col::CurrentTime).data().toString(),
                 QStringLiteral("AUS"));
        openOn(2);
        QTest::keyClicks(field(QStringLiteral("nach Teilnehmer:")), QStringLiteral("4"));
        act(QStringLiteral("Umbuchen"), 0);
        QCOMPARE(window().message(), QStringLiteral("4 ist aus dem Rennen genommen (AUS)."));
        QCOMPARE(gridLaps(2), QStringLiteral("3"));
        QCOMPARE(gridLaps(4), QStringLiteral("1"));
    }

    void raceKeysBookOnlyInTheMainWindow()
    {
        openOn(2);
        QLineEdit *target = field(QStringLiteral("nach Teilnehmer:"));
        target->setFocus();
        clock.advance(10000);
        QTest::keyClick(target, Qt::Key_3);
        QTest::keyClick(target, Qt::Key_Space);
        QCOMPARE(target->text(), QStringLiteral("3 "));
        QCOMPARE(core().table().lapCount(3), 0);
        QCOMPARE(core().pending().count(), 0);
        QTest::keyClick(form.get(), Qt::Key_3);
        QCOMPARE(core().table().lapCount(3), 1);
    }

    void undoWithdrawsTheLastCorrection()
    {
        openOn(2);
        act(QStringLiteral("Streichen"), 0);
        QCOMPARE(gridLaps(2), QStringLiteral("2"));
        QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(gridLaps(2), QStringLiteral("3"));
        QCOMPARE(cell(QStringLiteral("Runden"), 0, CorrectionsWindow::Hint), QString());
        QCOMPARE(table(QStringLiteral("Protokoll"))->rowCount(), 1);
        QCOMPARE(cell(QStringLiteral("Protokoll"), 0, table(QStringLiteral("Protokoll"))->columnCount() - 1), QStringLiteral("zurückgenommen"));
        QCOMPARE(table(QStringLiteral("Protokoll"))->horizontalHeaderItem(table(QStringLiteral("Protokoll"))->columnCount() - 1)->text(),
                 QStringLiteral("Status"));
    }

    void hintsAndTheUnderlinedLapCount()
    {
        book(2, 20000); // a quarter of the others: short
        openOn(2);
        QCOMPARE(cell(QStringLiteral("Runden"), 3, CorrectionsWindow::Hint), QStringLiteral("kurz"));
        auto *delegate = qobject_cast<GridDelegate *>(form->SortGrid1->itemDelegate());
        QVERIFY(delegate);
        // The underline runs below the digits' baseline: the flagged "4" reaches lower than the plain "1".
        const auto lowestInk = [&](int p) {
            QImage image(40, GridLayout::RowHeight, QImage::Format_RGB32);
            QPainter painter(&image);
            delegate->paintCell(&painter, image.rect(), core().table().RowOfParticipant[p] - 1, Col::Laps, false, form->palette());
            painter.end();
            int lowest = -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) < 100)
                        lowest = y;
            return lowest;
        };
        QCOMPARE(gridLaps(2), QStringLiteral("4"));
        QVERIFY(lowestInk(4) >= 0);
        QVERIFY2(lowestInk(2) > lowestInk(4), qPrintable(QStringLiteral("%1 vs %2").arg(lowestInk(2)).arg(lowestInk(4))));
    }

    void scoreboardMarksCorrectedRows()
    {
        Scoreboard board(*session);
        QVERIFY(!board.rowMarks().contains(QStringLiteral("korrigiert")));
        openOn(2);
        act(QStringLiteral("Streichen"), 0);
        QCOMPARE(board.rowMarks().count(QStringLiteral("korrigiert")), 1);
    }

    void windowsReportThemselvesAsWindows()
    {
        openOn(2);
        Scoreboard board(*session);
        for (QWidget *w : {static_cast<QWidget *>(form->Corrections), static_cast<QWidget *>(&board)}) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
            QVERIFY(iface);
            QCOMPARE(iface->role(), QAccessible::Window);
            QCOMPARE(iface->text(QAccessible::Name), w->windowTitle());
        }
        QCOMPARE(form->Corrections->windowTitle(), QStringLiteral("Korrekturen"));
        QCOMPARE(board.windowTitle(), QStringLiteral("Anzeigetafel"));
    }

    void fieldsAreNamedByTheirLabels_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::newRow("title") << "main" << "eTitle" << "Rennen:";
        QTest::newRow("session type") << "main" << "cbTip" << "Session:";
        QTest::newRow("warning time") << "main" << "meTimeWarn" << "Warnzeit:";
        QTest::newRow("duration") << "main" << "meTime" << "Counter:";
        QTest::newRow("port") << "settings" << "cbPort" << "Port:";
        QTest::newRow("start output") << "settings" << "cbAlg1" << "Start (7+8):";
        QTest::newRow("finish output") << "settings" << "cbAlg2" << "Ziel (4+6):";
        QTest::newRow("finish lock") << "settings" << "seLock" << "Ziel-Sperre nach dem START:";
        QTest::newRow("participant") << "corrections" << "eParticipant" << "Teilnehmer:";
        QTest::newRow("target") << "corrections" << "eTarget" << "nach Teilnehmer:";
        QTest::newRow("time") << "corrections" << "eTime" << "Zeit:";
        QTest::newRow("reason") << "corrections" << "eReason" << "Grund:";
    }

    void fieldsAreNamedByTheirLabels()
    {
        QFETCH(QString, window);
        QFETCH(QString, object);
        QFETCH(QString, name);
        TCfgDialog settings(form.get(), 0);
        QWidget *top = window == QLatin1String("main") ? static_cast<QWidget *>(form.get())
                     : window == QLatin1String("settings") ? static_cast<QWidget *>(&settings)
                                                            : static_cast<QWidget *>(form->Corrections);
        auto *fieldWidget = top->findChild<QWidget *>(object);
        QVERIFY(fieldWidget);
        QCOMPARE(fieldWidget->accessibleName(), name);
        // The label is the buddy: a screen reader finds it through the field's label relation.
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(fieldWidget);
        QVERIFY(iface);
        // (A group box's title is a label too, so there may be more than one.)
        QStringList labels;
        for (const auto &relation : iface->relations(QAccessible::Label))
            labels << relation.first->text(QAccessible::Name).trimmed();
        QVERIFY2(labels.contains(name), qPrintable(labels.join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(TestCorrectionsWindow)
#include "testcorrectionswindow.moc"
