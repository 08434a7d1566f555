#include "settings/PublishPassword.h"
#include "ui/TCfgDialog.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {
const QString Secret = QStringLiteral("Geheim-7f3a!");
const QString Account = QStringLiteral("lauf@web.example");
} // namespace

// The publishing password goes to the keyring and nowhere else. Here there is no keyring
// (as in CI): the program says so in German and goes on, and no file holds the password.
class TestPublishPassword : public QObject
{
    Q_OBJECT

    QTemporaryDir home;

    // Every file under the test's folders that contains the password.
    QStringList filesWithSecret() const
    {
        QStringList found;
        for (const QString &root : {home.path(), qEnvironmentVariable("XDG_CONFIG_HOME"), qEnvironmentVariable("XDG_DATA_HOME")}) {
            if (root.isEmpty())
                continue;
            QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile file(files.next());
                if (file.open(QIODevice::ReadOnly) && file.readAll().contains(Secret.toUtf8()))
                    found << file.fileName();
            }
        }
        return found;
    }

    // Runs action once the dialog shows, modal as it is.
    static void whenShown(std::function<void(QWidget *)> action)
    {
        auto *poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, action] {
            if (QWidget *dialog = QApplication::activeModalWidget()) {
                poll->stop();
                poll->deleteLater();
                action(dialog);
            }
        });
        poll->start();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        // No session bus, so no keyring, whatever the machine running the tests has.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath(QStringLiteral("no-bus")).toLocal8Bit());
        qputenv("HOME", home.path().toLocal8Bit());
    }

    void account_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("needsPassword");
        QTest::newRow("sftp: a key") << "sftp://lauf@web.example/htdocs/" << Account << false;
        QTest::newRow("ftps") << "ftps://lauf@web.example:990/live/" << Account << true;
        QTest::newRow("ftp") << "ftp://lauf@web.example/live/" << Account << true;
        QTest::newRow("WebDAV with user") << "https://lauf@dav.example/live/" << "lauf@dav.example" << true;
        QTest::newRow("WebDAV without") << "https://dav.example/live/" << "dav.example" << true;
        QTest::newRow("upper case scheme") << "FTPS://lauf@web.example/" << Account << true;
        QTest::newRow("blanks around") << "  ftps://lauf@web.example/  " << Account << true;
        QTest::newRow("plain http: not a target") << "http://dav.example/" << "dav.example" << false;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("no host") << "ftps:///live/" << QString() << true;
    }

    void account()
    {
        QFETCH(QString, url);
        QTEST(PublishPassword::accountOf(url), "account");
        QTEST(PublishPassword::needsPassword(url), "needsPassword");
    }

    // Without a keyring: a German message, promptly, and the password is in no file.
    void withoutKeyring_data()
    {
        QTest::addColumn<bool>("writing");
        QTest::addColumn<QString>("message");
        QTest::newRow("write") << true << QStringLiteral("Kein Schlüsselbund verfügbar: Passwort für lauf@web.example nicht gespeichert");
        QTest::newRow("read") << false << QStringLiteral("Kein Schlüsselbund verfügbar: Passwort für lauf@web.example nicht gelesen");
    }

    void withoutKeyring()
    {
        QFETCH(bool, writing);
        QFETCH(QString, message);
        PublishPassword keyring;
        QSignalSpy failed(&keyring, writing ? &PublishPassword::writeFailed : &PublishPassword::readFailed);
        QSignalSpy stored(&keyring, &PublishPassword::stored);
        QSignalSpy found(&keyring, &PublishPassword::found);
        QElapsedTimer returned;
        returned.start();
        if (writing)
            keyring.write(Account, Secret);
        else
            keyring.read(Account);
        // The call only starts the job: the GUI thread never waits for the keyring.
        QVERIFY(returned.elapsed() < 1000);
        QCOMPARE(failed.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 20000);
        QCOMPARE(failed[0][0].toString(), Account);
        QVERIFY2(failed[0][1].toString().startsWith(message), qPrintable(failed[0][1].toString()));
        QCOMPARE(stored.count() + found.count(), 0);
        QCOMPARE(filesWithSecret(), QStringList());
    }

    // "OK" hands a typed password to the keyring and forgets it; "Abbrechen" and an empty
    // field leave the keyring alone.
    void dialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("written");
        QTest::newRow("typed, OK") << Secret << true << true;
        QTest::newRow("typed, cancelled") << Secret << false << false;
        QTest::newRow("empty, OK: kept") << QString() << true << false;
    }

    void dialog()
    {
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(bool, written);
        QWidget mainWindow;
        mainWindow.show();
        TCfgDialog dialog(&mainWindow, 0);
        PublishPassword keyring;
        QSignalSpy failed(&keyring, &PublishPassword::writeFailed);
        dialog.setPublishTarget(&keyring, QStringLiteral("ftps://lauf@web.example/live/"));
        whenShown([&](QWidget *) {
            QTest::keyClicks(dialog.ePassword, typed);
            QCOMPARE(dialog.ePassword->text(), typed);
            QTest::mouseClick(ok ? dialog.OKBtn : dialog.CancelBtn, Qt::LeftButton);
        });
        const auto result = dialog.edit({});
        QCOMPARE(result.has_value(), ok);
        QVERIFY(dialog.ePassword->text().isEmpty());
        if (written) {
            QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 20000);
            QCOMPARE(failed[0][0].toString(), Account);
            QVERIFY(failed[0][1].toString().contains(QStringLiteral("nicht gespeichert")));
        } else {
            QTest::qWait(300);
            QCOMPARE(failed.count(), 0);
        }
        QCOMPARE(filesWithSecret(), QStringList());
    }
};

QTEST_MAIN(TestPublishPassword)
#include "testpublishpassword.moc"
