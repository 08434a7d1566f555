#include "Fakes.h"
#include "ui/TFDlgYesNo.h"
#include "ui/TFormInfo.h"

#include <QApplication>
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

// The question dialog and the information box.
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
};

QTEST_MAIN(TestDialogs)
#include "testdialogs.moc"
