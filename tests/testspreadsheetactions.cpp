#include "Fakes.h"
#include "ProgramFixture.h"
#include "session/RaceSession.h"
#include "ui/SpreadsheetActions.h"
#include "ui/GridView.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using Col = StandingsGrid::Column;

// The starter list and the results workbook from the window: chosen, read and written on
// the file worker while the window goes on, with a message for every file that fails.
class TestSpreadsheetActions : public QObject, ProgramFixture
{
    Q_OBJECT

    QStringList offered; // what the file chooser was asked
    QString answer;      // what the operator picks

    QMessageBox *errorBox() { return form().findChild<QMessageBox *>(QStringLiteral("SpreadsheetError")); }

    void pick(const QString &file)
    {
        answer = file;
        QSignalSpy done(&program->spreadsheet(), &SpreadsheetActions::finished);
        QTest::keyClick(&form(), Qt::Key_O, Qt::ControlModifier);
        if (!file.isEmpty())
            QVERIFY(done.wait(20000));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid() && QDir::setCurrent(dir.path()));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void init()
    {
        QVERIFY(startProgram());
        program->spreadsheet().setFileChooser([this](const QString &folder, const QString &lastName) {
            offered << folder + QLatin1Char('|') + lastName;
            return answer;
        });
        shell.opened.clear();
        offered.clear();
    }

    void cleanup() { program.reset(); }

    void starterListFillsTheGrid()
    {
        pick(QFINDTESTDATA("data/starters/starters-12.ods"));
        QCOMPARE(core().carCount(), 12);
        QCOMPARE(form().SortGrid1->model()->rowCount(), 12);
        QCOMPARE(form().SortGrid1->model()->index(11, Col::Number).data().toString(), QStringLiteral("12"));
        // The results can be written before any session.
        QVERIFY(form().sbExcel->isEnabled());
        QVERIFY(form().sbWeb->isEnabled());
        // The status bar says what was taken.
        QCOMPARE(form().StatusPanels[1]->text(),
                 QStringLiteral("12 Starter aus %1 übernommen").arg(QDir::toNativeSeparators(QFINDTESTDATA("data/starters/starters-12.ods"))));
        // The next time the dialog offers the same list with its extension, so that Enter does
        // not open a list of the same name in another format.
        pick(QString());
        QVERIFY2(offered.last().endsWith(QLatin1String("|starters-12.ods")), qPrintable(offered.last()));
    }

    void summaryNamesWhatWasLeft_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("starters");
        QTest::addColumn<QString>("summary");
        QTest::newRow("more than 20") << "starters-25.xlsx" << 20
                                      << "20 Starter aus %1 übernommen; 5 weitere Zeilen nicht übernommen (höchstens 20)";
        QTest::newRow("gap") << "starters-gap.ods" << 5 << "5 Starter aus %1 übernommen; Liste endet bei der leeren Zelle A6";
    }

    void summaryNamesWhatWasLeft()
    {
        QFETCH(QString, file);
        QFETCH(int, starters);
        QFETCH(QString, summary);
        const QString path = QFINDTESTDATA(QStringLiteral("data/starters/") + file);
        pick(path);
        QCOMPARE(core().carCount(), starters);
        QCOMPARE(form().StatusPanels[1]->text(), summary.arg(QDir::toNativeSeparators(path)));
    }

    // A list read while the operator started the session is not taken, and the status bar says so.
    void listArrivingDuringASessionIsNotTaken()
    {
        answer = QFINDTESTDATA("data/starters/starters-12.ods");
        QSignalSpy done(&program->spreadsheet(), &SpreadsheetActions::finished);
        QTest::keyClick(&form(), Qt::Key_O, Qt::ControlModifier);
        // The result comes back through the event loop, so the start comes first.
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(done.wait(20000));
        QCOMPARE(core().carCount(), 20);
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Starterliste nicht übernommen: die Sitzung läuft"));
        QVERIFY(!errorBox());
    }

    void badListsChangeNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("no starter") << "starters-empty-a1.xlsx" << "Keine Starter gefunden: ";
        QTest::newRow("not a workbook") << "../protocol-golden.html" << "Die Starterliste ";
    }

    void badListsChangeNothing()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        const QString path = QFINDTESTDATA(QStringLiteral("data/starters/") + file);
        pick(path);
        QCOMPARE(core().carCount(), 20);
        QVERIFY(!form().sbExcel->isEnabled());
        QMessageBox *box = errorBox();
        QVERIFY(box && box->isVisible());
        QVERIFY2(box->text().startsWith(message), qPrintable(box->text()));
        QVERIFY(box->text().contains(QDir::toNativeSeparators(path)));
        // The message does not hold up the keys, and carries the program's name.
        QVERIFY(!box->isModal());
        QCOMPARE(box->windowTitle(), QStringLiteral("Chronolauf"));
    }

    void cancelChangesNothing()
    {
        pick(QString());
        QCOMPARE(offered.size(), 1);
        QCOMPARE(core().carCount(), 20);
        QVERIFY(!errorBox());
    }

    void noStarterListDuringARace()
    {
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        pick(QString());
        QVERIFY(offered.isEmpty());
    }

    // The workbook is written beside the results page and opened; the race goes on meanwhile.
    void exportOpensTheWorkbook()
    {
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        clock.advance(61230);
        QTest::keyClick(&form(), Qt::Key_3);
        QSignalSpy done(&program->spreadsheet(), &SpreadsheetActions::finished);
        QTest::mouseClick(form().sbExcel, Qt::LeftButton);
        QTest::keyClick(&form(), Qt::Key_Space); // booking goes on while the file is written
        QVERIFY(done.wait(20000));
        QCOMPARE(core().pending().count(), 1);
        QCOMPARE(shell.opened.size(), 1);
        const QString saved = shell.opened.first();
        QVERIFY(QFileInfo(saved).isFile());
        QCOMPARE(QFileInfo(saved).absolutePath(), QDir::currentPath());
        QVERIFY(QFileInfo(saved).fileName().startsWith(QLatin1String("testspreadsheetactions-Ergebnis-")));
        QCOMPARE(form().StatusPanels[1]->text(), QStringLiteral("Ergebnis gespeichert: ") + QDir::toNativeSeparators(saved));
    }
};

QTEST_MAIN(TestSpreadsheetActions)
#include "testspreadsheetactions.moc"
