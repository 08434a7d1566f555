#include "Fakes.h"
#include "ui/TCfgDialog.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormInfo.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {


// Runs action on the modal dialog as soon as it is shown; a dialog the action leaves open
// is closed afterwards, so that a failing test cannot hang.
void whenShown(const std::function<void(QWidget *)> &action)
{
    QTimer::singleShot(0, [action] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        action(modal);
        if (modal->isVisible())
            modal->done(-1);
    });
}

// Keys go to the widget that has the dialog's focus, as the keyboard would send them.
void typeInto(QWidget *dialog, int key)
{
    QWidget *target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, Qt::Key(key));
}

} // namespace

// The question dialog, the information box and the barrier settings' hints.
class TestDialogs : public QObject
{
    Q_OBJECT

    QMainWindow mainWindow;

private slots:
    void initTestCase()
    {
        mainWindow.setWindowTitle(QStringLiteral("Chronolauf v1.8"));
        mainWindow.setGeometry(100, 100, 1024, 600);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    }

    void answers_data()
    {
        QTest::addColumn<bool>("focusNo");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("focused");
        QTest::newRow("Enter on the preselected Nein") << true << int(Qt::Key_Return) << false << "Nein";
        QTest::newRow("Enter on Ja") << false << int(Qt::Key_Return) << true << "Ja";
        QTest::newRow("Esc with Ja focused") << false << int(Qt::Key_Escape) << false << "Ja";
        QTest::newRow("Esc with Nein focused") << true << int(Qt::Key_Escape) << false << "Nein";
        QTest::newRow("Tab from Ja, then Enter") << false << int(Qt::Key_Tab) << false << "Ja";
    }

    void answers()
    {
        QFETCH(bool, focusNo);
        QFETCH(int, key);
        TFDlgYesNo dialog(&mainWindow);
        QString focused;
        whenShown([&](QWidget *modal) {
            auto *button = qobject_cast<QPushButton *>(modal->focusWidget());
            focused = button ? button->text() : QString();
            typeInto(modal, key);
            if (key == Qt::Key_Tab)
                typeInto(modal, Qt::Key_Return);
        });
        const bool answer = dialog.ask(QStringLiteral("Alle Zeiten stoppen?"), focusNo);
        QTEST(answer, "yes");
        QTEST(focused, "focused");
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Alle Zeiten stoppen?"));
    }

    void buttonsGiveTheirResults()
    {
        TFDlgYesNo dialog(&mainWindow);
        whenShown([&](QWidget *) { QTest::mouseClick(dialog.OKBtn, Qt::LeftButton); });
        QVERIFY(dialog.ask(QStringLiteral("Beenden?"), false));
        QCOMPARE(dialog.result(), TFDlgYesNo::ResultYes);
        whenShown([&](QWidget *) { QTest::mouseClick(dialog.CancelBtn, Qt::LeftButton); });
        QVERIFY(!dialog.ask(QStringLiteral("Beenden?"), false));
        QCOMPARE(dialog.result(), TFDlgYesNo::ResultCancel);
    }

    void looksAsBuilt()
    {
        TFDlgYesNo dialog(&mainWindow);
        QPoint centre;
        whenShown([&](QWidget *modal) {
            centre = modal->frameGeometry().center();
            typeInto(modal, Qt::Key_Escape);
        });
        dialog.ask(QStringLiteral("Haben Sie das Protokoll gespeichert?"), false);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Chronolauf v1.8"));
        QCOMPARE(dialog.size(), QSize(222, 94));
        QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(dialog.OKBtn->text(), QStringLiteral("Ja"));
        QCOMPARE(dialog.CancelBtn->text(), QStringLiteral("Nein"));
        QVERIFY(!dialog.Icon->pixmap().isNull());
        QVERIFY(dialog.Icon2->isHidden());
        QVERIFY(dialog.Label1->wordWrap());
        QVERIFY((centre - mainWindow.frameGeometry().center()).manhattanLength() <= 2);
    }

    void informationBox()
    {
        FakeShell shell;
        TFormInfo info(&mainWindow, shell, QStringLiteral("https://www.chronolauf.example/"));
        QCOMPARE(info.windowTitle(), QStringLiteral("Information"));
        QCOMPARE(info.size(), QSize(256, 323));
        QCOMPARE(info.Label1->text(), QStringLiteral("Chronolauf"));
        QCOMPARE(info.LabelVer->text(), QStringLiteral("Version 1.8 (19.03.2010)"));
        QCOMPARE(info.sOK->text(), QStringLiteral("Einverstanden"));
        QVERIFY(!info.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!info.ImageICON->pixmap().isNull());

        whenShown([&](QWidget *modal) {
            QTest::mouseClick(info.Image1, Qt::LeftButton);
            typeInto(modal, Qt::Key_Escape);
        });
        info.exec();
        QCOMPARE(shell.opened, QStringList{QStringLiteral("https://www.chronolauf.example/")});

        whenShown([&](QWidget *) { QTest::mouseClick(info.sOK, Qt::LeftButton); });
        QCOMPARE(info.exec(), int(QDialog::Accepted));
    }

    // What the settings dialog says about the configured port, and what "OK" gives back.
    void portHints_data()
    {
        QTest::addColumn<uint>("presence");
        QTest::addColumn<int>("configured");
        QTest::addColumn<QString>("choose"); // item the operator picks; empty: as shown
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("absent");  // "nicht angeschlossen"
        QTest::addColumn<bool>("noStart"); // no start barrier on this port
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("portChanged");
        const uint com3 = 0x00030004u;
        const uint com3And13 = 0x000D1004u;
        QTest::newRow("present port") << com3 << 3 << "" << QStringList{"Kein", "COM3"} << false << false << 3 << false;
        QTest::newRow("absent port kept") << com3 << 5 << "" << QStringList{"Kein", "COM3", "COM5"} << true << false << 5 << false;
        QTest::newRow("absent port among present ones")
            << com3 << 1 << "" << QStringList{"Kein", "COM1", "COM3"} << true << false << 1 << false;
        QTest::newRow("absent port, none present") << 0u << 7 << "" << QStringList{"Kein", "COM7"} << true << false << 7 << false;
        QTest::newRow("absent port, another chosen") << com3 << 5 << "COM3" << QStringList{"Kein", "COM3", "COM5"} << false << false
                                                     << 3 << true;
        QTest::newRow("absent port, Kein chosen") << com3 << 5 << "Kein" << QStringList{"Kein", "COM3", "COM5"} << false << false
                                                  << 0 << true;
        QTest::newRow("cdc-acm port") << com3And13 << 13 << "" << QStringList{"Kein", "COM3", "COM13"} << false << true << 13 << false;
        QTest::newRow("cdc-acm port chosen") << com3And13 << 3 << "COM13" << QStringList{"Kein", "COM3", "COM13"} << false << true
                                             << 13 << true;
        QTest::newRow("absent cdc-acm port") << com3 << 16 << "" << QStringList{"Kein", "COM3", "COM16"} << true << true << 16 << false;
    }

    void portHints()
    {
        QFETCH(uint, presence);
        QFETCH(int, configured);
        QFETCH(QString, choose);
        TCfgDialog dialog(&mainWindow, presence);
        QStringList items;
        bool absent = false;
        bool noStart = false;
        QSize size;
        whenShown([&](QWidget *) {
            if (!choose.isEmpty())
                dialog.cbPort->setCurrentIndex(dialog.cbPort->findText(choose));
            for (int i = 0; i < dialog.cbPort->count(); ++i)
                items << dialog.cbPort->itemText(i);
            absent = dialog.LabelAbsent->isVisible();
            noStart = dialog.LabelNoStart->isVisible();
            size = dialog.size();
            // The start hint has a line of its own above the buttons.
            QVERIFY(!noStart || dialog.LabelNoStart->geometry().bottom() < dialog.OKBtn->geometry().top());
            QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
        });
        const auto result = dialog.edit({.port = configured, .barriers = {}});
        QVERIFY(result);
        QTEST(items, "items");
        QTEST(absent, "absent");
        QTEST(noStart, "noStart");
        QCOMPARE(dialog.LabelAbsent->text(), QStringLiteral("nicht angeschlossen"));
        QCOMPARE(dialog.LabelNoStart->text(), QStringLiteral("Startlichtschranke an diesem Anschluss nicht möglich"));
        QCOMPARE(size.height() > 178, noStart);
        QTEST(result->values.port, "port");
        QTEST(result->portChanged, "portChanged");

        // The next cycle lists the present ports only again.
        whenShown([&](QWidget *) { QTest::mouseClick(dialog.CancelBtn, Qt::LeftButton); });
        QVERIFY(!dialog.edit({.port = 0, .barriers = {}}));
        QCOMPARE(dialog.cbPort->count(), TCfgDialog::PortItems(presence).size());
        QCOMPARE(dialog.size(), QSize(300, 178));
    }
};

QTEST_MAIN(TestDialogs)
#include "testdialogs.moc"
