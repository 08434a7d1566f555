#include "core/TickSource.h"

#include <QTest>

#include <atomic>
#include <thread>

// The race clock's offset, read by the serial event thread while recovery sets it on the GUI
// thread. Built with ThreadSanitizer, which reports any unsynchronised access as a failure.
class TestClockOffset : public QObject
{
    Q_OBJECT

private slots:
    void offsetSetWhileAnotherThreadReads_data()
    {
        QTest::addColumn<uint>("base");
        QTest::addColumn<uint>("offset");
        QTest::newRow("after a reboot") << 20000u << 86400000u;
        QTest::newRow("across the wrap") << 0xFFFFF000u << 0x2000u;
    }

    void offsetSetWhileAnotherThreadReads()
    {
        QFETCH(uint, base);
        QFETCH(uint, offset);
        const ManualTickSource boot(base);
        OffsetTickSource clock(boot);
        std::atomic<bool> done = false;
        std::atomic<int> strays = 0;
        std::thread eventThread([&] {
            while (!done) {
                const std::uint32_t now = clock.milliseconds();
                if (now != base && now != base + offset)
                    ++strays;
            }
        });
        for (int i = 0; i < 20000; ++i)
            clock.setOffset(i % 2 ? offset : 0u);
        done = true;
        eventThread.join();
        QCOMPARE(strays.load(), 0);
        clock.setOffset(offset);
        QCOMPARE(ReadClock(clock), std::int32_t((base + offset) / 10u * 10u));
    }
};

QTEST_GUILESS_MAIN(TestClockOffset)
#include "testclockoffset.moc"
