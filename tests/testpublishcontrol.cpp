#include "Fakes.h"
#include "ProgramFixture.h"

#include "app/PublishLogin.h"
#include "settings/PublishPassword.h"
#include "ui/PublishControl.h"
#include "ui/TCfgDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>

// The operator's switch for publishing and its status panel: alone, fed the uploader's
// outcomes by hand, and in the running program behind Ctrl+Shift+U.
class TestPublishControl : public QObject, ProgramFixture
{
    Q_OBJECT

    // A store of its own per control: QSettings caches what it read per file.
    std::unique_ptr<QSettings> freshStore()
    {
        return std::make_unique<QSettings>(dir.filePath(QStringLiteral("control-%1.conf").arg(++stores)), QSettings::IniFormat);
    }
    int stores = 0;

    static QDateTime at(const QString &time) { return QDateTime(QDate(2026, 12, 8), QTime::fromString(time, QStringLiteral("HH:mm:ss"))); }

    // One step as the table writes it: "toggle", "published HH:MM:SS", "failed N reason", "refuse reason".
    static void run(PublishControl &control, const QString &step)
    {
        const QString verb = step.section(u' ', 0, 0);
        if (verb == QLatin1String("toggle"))
            control.toggle();
        else if (verb == QLatin1String("published"))
            control.published(at(step.section(u' ', 1, 1)));
        else if (verb == QLatin1String("failed"))
            control.failed(step.section(u' ', 2), step.section(u' ', 1, 1).toInt());
        else if (verb == QLatin1String("refuse"))
            control.refuse(step.section(u' ', 1));
        else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        // No session bus, so no keyring, whatever the machine running the tests has.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath(QStringLiteral("no-bus")).toLocal8Bit());
    }

    void cleanup() { program.reset(); }

    void status_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        QTest::addColumn<bool>("shown");
        const QString ok = QStringLiteral("published 14:03:05");
        for (const bool plain : {false, true}) {
            const QString tail = plain ? QStringLiteral(" · unverschlüsselt") : QString();
            const auto row = [plain](const char *name) {
                return &QTest::newRow(qPrintable(QString::fromLatin1(name) + (plain ? QStringLiteral(", plain ftp") : QString())));
            };
            *row("switched on") << plain << QStringList{"toggle"} << QStringLiteral("Veröffentlichung läuft") + tail << false << true;
            *row("one upload") << plain << QStringList{"toggle", ok} << QStringLiteral("Veröffentlicht 14:03:05") + tail << false << true;
            *row("two failures stay quiet")
                << plain << QStringList{"toggle", ok, "failed 1 Zeitüberschreitung", "failed 2 Zeitüberschreitung"}
                << QStringLiteral("Veröffentlicht 14:03:05") + tail << false << true;
            *row("the third in red")
                << plain << QStringList{"toggle", ok, "failed 1 Zeitüberschreitung", "failed 2 Zeitüberschreitung", "failed 3 Anmeldung abgelehnt"}
                << QStringLiteral("Veröffentlichung fehlgeschlagen: Anmeldung abgelehnt") + tail << true << true;
            *row("failing from the start") << plain << QStringList{"toggle", "failed 1 a", "failed 2 b", "failed 3 Server nicht erreichbar"}
                                           << QStringLiteral("Veröffentlichung fehlgeschlagen: Server nicht erreichbar") + tail << true << true;
            *row("the fourth replaces the reason") << plain << QStringList{"toggle", "failed 3 a", "failed 4 Datenträger voll"}
                                                   << QStringLiteral("Veröffentlichung fehlgeschlagen: Datenträger voll") + tail << true << true;
            *row("cleared by a success") << plain << QStringList{"toggle", "failed 3 a", "published 14:04:10"}
                                         << QStringLiteral("Veröffentlicht 14:04:10") + tail << false << true;
            *row("switched off") << plain << QStringList{"toggle", ok, "failed 3 a", "toggle"} << QString() << false << false;
            *row("outcomes after off") << plain << QStringList{"toggle", "toggle", ok, "failed 3 a"} << QString() << false << false;
            *row("on again") << plain << QStringList{"toggle", "failed 3 a", "toggle", "toggle"}
                             << QStringLiteral("Veröffentlichung läuft") + tail << false << true;
            // A refusal is shown while off: no "unverschlüsselt" for what does not run.
            *row("refused") << plain << QStringList{"toggle", "refuse Unbekanntes Verfahren: gopher"}
                            << QStringLiteral("Veröffentlichung nicht möglich: Unbekanntes Verfahren: gopher") << true << true;
            *row("tried again after a refusal") << plain << QStringList{"toggle", "refuse x", "toggle"}
                                                << QStringLiteral("Veröffentlichung läuft") + tail << false << true;
        }
    }

    void status()
    {
        QFETCH(bool, plain);
        QFETCH(QStringList, steps);
        auto store = freshStore();
        QWidget window;
        auto *control = new PublishControl(*store, &window);
        control->setTarget(true, plain);
        window.show();
        for (const QString &step : steps)
            run(*control, step);
        QTEST(control->text(), "text");
        QTEST(control->styleSheet().contains(QStringLiteral("red")), "red");
        QTEST(control->isVisible(), "shown");
        // The narrow panel's full text is a hover away.
        QCOMPARE(control->toolTip(), control->text());
    }

    // The switch is written at once when the operator toggles it, never at a restore; without
    // a target it does not go on, and the operator hears why.
    void switchIsKept()
    {
        auto store = freshStore();
        PublishControl control(*store);
        QSignalSpy on(&control, &PublishControl::switchedOn);
        QSignalSpy off(&control, &PublishControl::switchedOff);
        QSignalSpy message(&control, &PublishControl::message);

        control.toggle();
        QVERIFY(!control.isOn());
        QCOMPARE(on.count(), 0);
        QCOMPARE(message.count(), 1);
        QVERIFY(message[0][0].toString().startsWith(QStringLiteral("Veröffentlichung nicht eingerichtet")));
        QVERIFY(!store->contains(QStringLiteral("PublishOn")));

        control.setTarget(true, false);
        control.restore(true);
        QVERIFY(control.isOn());
        QCOMPARE(on.count(), 1);
        QVERIFY(!store->contains(QStringLiteral("PublishOn")));

        control.toggle();
        QVERIFY(!control.isOn());
        QCOMPARE(off.count(), 1);
        QCOMPARE(message.last()[0].toString(), QStringLiteral("Veröffentlichung beendet"));
        QSettings reread(store->fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(QStringLiteral("PublishOn")).toInt(), 0);
        control.toggle();
        QCOMPARE(on.count(), 2);
        QSettings again(store->fileName(), QSettings::IniFormat);
        QCOMPARE(again.value(QStringLiteral("PublishOn")).toInt(), 1);
    }

    // In the program: Ctrl+Shift+U in every state, the panel in the status bar beside the
    // message panel, which makes room; the switch kept for the next start.
    void inTheProgram()
    {
        const QString url = QStringLiteral("sftp://lauf@web.example/htdocs/live/");
        QVERIFY(startProgram({"Autos=4", "PublishUrl=" + url}));
        PublishControl &control = program->publishControl();
        QVERIFY(form().statusBar()->isAncestorOf(&control));
        QVERIFY(!control.isVisible());
        const int wide = form().StatusPanels[1]->width();
        QSignalSpy on(&control, &PublishControl::switchedOn);

        QTest::keyClick(&form(), Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(control.isOn());
        QCOMPARE(on.count(), 1);
        QVERIFY(control.isVisible());
        QCOMPARE(control.text(), QStringLiteral("Veröffentlichung läuft"));
        QTRY_COMPARE(form().StatusPanels[1]->width(), wide - control.width());
        QCOMPARE(settings->value(QStringLiteral("PublishOn")).toInt(), 1);
        control.published(QDateTime::currentDateTime());
        QVERIFY(control.text().startsWith(QStringLiteral("Veröffentlicht ")));

        // A race runs: the key still works and no dialog comes up.
        QTest::keyClick(&form(), Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(&form(), Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!control.isOn());
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_COMPARE(form().StatusPanels[1]->width(), wide);
        QTest::keyClick(&form(), Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(control.isOn());

        // The next start comes back on, as left.
        QVERIFY(startProgram({"Autos=4", "PublishUrl=" + url, "PublishOn=1"}));
        QVERIFY(program->publishControl().isOn());
        QVERIFY(program->publishControl().isVisible());
    }

    // The login for each kind of target: the key at once, a password from the keyring, which
    // is not there; a switch-off drops the late answer.
    void login_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("refusal"); // empty: ready
        QTest::newRow("sftp: the key") << "sftp://lauf@web.example/live/" << QString();
        QTest::newRow("ftps: no keyring") << "ftps://lauf@web.example/live/"
                                          << "Kein Schlüsselbund verfügbar: Passwort für lauf@web.example nicht gelesen";
        QTest::newRow("WebDAV: no keyring") << "https://dav.example/live/"
                                            << "Kein Schlüsselbund verfügbar: Passwort für dav.example nicht gelesen";
    }

    void login()
    {
        QFETCH(QString, url);
        QFETCH(QString, refusal);
        PublishPassword keyring;
        PublishLogin login(keyring);
        QList<PublishCredentials> ready;
        connect(&login, &PublishLogin::ready, this, [&ready](const PublishCredentials &c) { ready << c; });
        QSignalSpy refused(&login, &PublishLogin::refused);
        QSignalSpy answered(&keyring, &PublishPassword::readFailed);
        login.gather(url, QStringLiteral("/home/lauf/.ssh/id_ed25519"));
        if (refusal.isEmpty()) {
            QCOMPARE(ready.count(), 1);
            const PublishCredentials &credentials = ready[0];
            QCOMPARE(credentials.keyFile, QStringLiteral("/home/lauf/.ssh/id_ed25519"));
            QVERIFY(credentials.password.isEmpty());
            return;
        }
        QVERIFY(login.isWaiting());
        QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 20000);
        QVERIFY2(refused[0][0].toString().startsWith(refusal), qPrintable(refused[0][0].toString()));
        QCOMPARE(ready.count(), 0);

        // Switched off before the keyring answered: nothing follows.
        login.gather(url, QString());
        login.cancel();
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 2, 20000);
        QCOMPARE(refused.count(), 1);
        QCOMPARE(ready.count(), 0);
    }

    // A target that needs a password, without a keyring: publishing goes off again and the
    // panel says why in red; the race goes on.
    void noPasswordInTheProgram()
    {
        QVERIFY(startProgram({"Autos=4", "PublishUrl=ftp://lauf@web.example/live/", "PublishAllowPlain=1"}));
        PublishControl &control = program->publishControl();
        QTest::keyClick(&form(), Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(control.text(), QStringLiteral("Veröffentlichung läuft · unverschlüsselt"));
        QTRY_VERIFY_WITH_TIMEOUT(!control.isOn(), 20000);
        QVERIFY(control.text().startsWith(QStringLiteral("Veröffentlichung nicht möglich: Kein Schlüsselbund verfügbar")));
        QVERIFY(control.styleSheet().contains(QStringLiteral("red")));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void notSetUp()
    {
        QVERIFY(startProgram({"Autos=4", "PublishOn=1"}));
        QVERIFY(!program->publishControl().isOn());
        QTest::keyClick(&form(), Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!program->publishControl().isOn());
        QVERIFY(form().StatusPanels[1]->text().startsWith(QStringLiteral("Veröffentlichung nicht eingerichtet")));
    }

    // The settings dialog asks for a password only where the target logs in with one.
    void passwordField_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("account");
        QTest::newRow("none") << QString() << false << QString();
        QTest::newRow("sftp: a key") << "sftp://lauf@web.example/live/" << false << QString();
        QTest::newRow("ftps") << "ftps://lauf@web.example/live/" << true << "lauf@web.example";
        QTest::newRow("ftp") << "ftp://lauf@web.example/live/" << true << "lauf@web.example";
        QTest::newRow("WebDAV") << "https://dav.example:8443/live/" << true << "dav.example";
    }

    void passwordField()
    {
        QFETCH(QString, url);
        QFETCH(bool, asked);
        QVERIFY(startProgram({"Autos=4", "PublishUrl=" + url}));
        TCfgDialog &dialog = program->settingsDialog();
        QCOMPARE(dialog.LabelPassword->text(), QStringLiteral("Passwort für die Veröffentlichung:"));
        QCOMPARE(dialog.LabelPassword->buddy(), dialog.ePassword);
        QCOMPARE(dialog.ePassword->accessibleName(), QStringLiteral("Passwort für die Veröffentlichung:"));
        QCOMPARE(dialog.ePassword->echoMode(), QLineEdit::Password);
        QCOMPARE(!dialog.ePassword->isHidden(), asked);
        QCOMPARE(!dialog.LabelPassword->isHidden(), asked);
        QTEST(dialog.ePassword->placeholderText(), "account");
        // The buttons stay below the field.
        if (asked)
            QVERIFY(dialog.ePassword->geometry().bottom() < dialog.OKBtn->geometry().top());
    }
};

QTEST_MAIN(TestPublishControl)
#include "testpublishcontrol.moc"
