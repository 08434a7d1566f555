#include "core/TickSource.h"
#include "platform/BootClock.h"
#include "platform/DataFiles.h"
#include "platform/QtSoundPlayer.h"
#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTranslator>

// The platform layer: the race clock's source, the sound player's failure handling and Qt's own texts.
class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void readClockTruncatesToTenMilliseconds_data()
    {
        QTest::addColumn<uint>("ms");
        QTest::addColumn<int>("tick");
        QTest::newRow("zero") << 0u << 0;
        QTest::newRow("down to ten") << 12349u << 12340;
        QTest::newRow("already a multiple") << 12340u << 12340;
        QTest::newRow("above int32 max reads negative") << 0x80000005u << int(0x80000002u);
        QTest::newRow("just before the wrap") << 0xFFFFFFFFu << int(0xFFFFFFFAu);
    }

    void readClockTruncatesToTenMilliseconds()
    {
        QFETCH(uint, ms);
        QTEST(ReadClock(ManualTickSource(ms)), "tick");
    }

    void durationsAcrossTheWrap()
    {
        const std::int32_t before = ReadClock(ManualTickSource(0xFFFFFF00u));
        const std::int32_t after = ReadClock(ManualTickSource(0x00000100u));
        // 256 ms up to the wrap and 250 after it: the counter's range is not a multiple of ten.
        QCOMPARE(TickDiff(after, before), 506);
        QCOMPARE(TickAdd(before, 506), after);
    }

    void bootClockMoves()
    {
        BootClock clock;
        const std::uint32_t first = clock.milliseconds();
        QTest::qSleep(30);
        const std::uint32_t second = clock.milliseconds();
        QVERIFY2(std::int32_t(second - first) >= 20, "the boot clock runs in milliseconds");
        QVERIFY(std::int32_t(second - first) < 5000);
    }

    void missingSoundIsSilent()
    {
        QtSoundPlayer player({QStringLiteral("no-such-sound.wav")});
        player.play(QStringLiteral("no-such-sound.wav"));
        player.play(QStringLiteral("another-missing.wav"));
        QVERIFY(DataFiles::find(QStringLiteral("no-such-sound.wav")).isEmpty());
    }

    void dataFilesBesideTheProgram()
    {
        const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("testplatform-probe.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(DataFiles::find(QStringLiteral("testplatform-probe.txt")), path);
        QFile::remove(path);
    }

    void qtTranslations_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("catalogs");
        QTest::addColumn<QString>("yes");
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << true << 2 << "&Ja";
        QTest::newRow("Austrian German") << QLocale(QLocale::German, QLocale::Austria) << true << 2 << "&Ja";
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << false << 0 << "&Yes";
    }

    void qtTranslations()
    {
        QFETCH(QLocale, locale);
        QTEST(installQtTranslations(*QCoreApplication::instance(), locale), "found");
        QTEST(int(QCoreApplication::instance()->findChildren<QTranslator *>().size()), "catalogs");
        // The message box's button, as Qt's platform theme names it.
        QTEST(QCoreApplication::translate("QPlatformTheme", "&Yes"), "yes");
    }

    void cleanup() { qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>()); }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "testplatform.moc"
