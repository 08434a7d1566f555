#include "core/TimeText.h"

#include <QString>
#include <QTest>

#include <cstdint>
#include <limits>

using namespace TimeText;

namespace {

constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t HundredHoursMs = 100 * 3600 * 1000;

// Adds the same row once with ',' and once with '.' as decimal separator; the expected
// text is written with ','.
void addRaceTimeRow(const char *name, int ms, const char *commaText)
{
    const QString comma = QString::fromLatin1(commaText);
    QString dot = comma;
    dot.replace(QLatin1Char(','), QLatin1Char('.'));
    QTest::addRow("%s [,]", name) << ms << QChar(QLatin1Char(',')) << comma;
    QTest::addRow("%s [.]", name) << ms << QChar(QLatin1Char('.')) << dot;
}

} // namespace

class TestTimeText : public QObject
{
    Q_OBJECT

private slots:
    void formatRaceTime_data();
    void formatRaceTime();
    void formatRaceTimeNegative_data();
    void formatRaceTimeNegative();
    void parseRaceTime_data();
    void parseRaceTime();
    void raceTimeRoundTrip_data();
    void raceTimeRoundTrip();

    void formatMinSec_data();
    void formatMinSec();
    void parseMinSec_data();
    void parseMinSec();
    void minSecStepUpWrapsAtTheHour();

    void formatClockSeconds_data();
    void formatClockSeconds();
    void parseClockSeconds_data();
    void parseClockSeconds();
    void clockSecondsRoundTrip();
};

// ---------------------------------------------------------------------------
// Race times

void TestTimeText::formatRaceTime_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    // Minutes unpadded below one hour, padded (and hours unpadded) from one hour.
    addRaceTimeRow("zero", 0, "0:00,00");
    addRaceTimeRow("one hundredth", 10, "0:00,01");
    addRaceTimeRow("seconds", 5430, "0:05,43");
    addRaceTimeRow("one minute five", 65430, "1:05,43");
    addRaceTimeRow("ten minutes", 600000, "10:00,00");
    addRaceTimeRow("last hundredth of the first hour", 3599990, "59:59,99");
    addRaceTimeRow("one hour", 3600000, "1:00:00,00");
    addRaceTimeRow("one hour one minute", 3661230, "1:01:01,23");
    addRaceTimeRow("last hundredth of a day", 86399990, "23:59:59,99");
    addRaceTimeRow("last hundredth below 100 h", 359999990, "99:59:59,99");
    addRaceTimeRow("100 h wraps", 360000000, "0:00:00,00");
    addRaceTimeRow("past 100 h wraps", 363661230, "1:01:01,23");

    addRaceTimeRow("last hundredth of the first minute", 59990, "0:59,99");
    addRaceTimeRow("one minute", 60000, "1:00,00");
    addRaceTimeRow("nine minutes", 599990, "9:59,99");
    addRaceTimeRow("pass at 1 h 2 min 3.45 s", 3723450, "1:02:03,45");
    addRaceTimeRow("ten hours", 36000000, "10:00:00,00");
    addRaceTimeRow("just below ten hours", 35999990, "9:59:59,99");

    // Hundredths are truncated, never rounded.
    addRaceTimeRow("truncates 12345", 12345, "0:12,34");
    addRaceTimeRow("truncates 9", 9, "0:00,00");
    addRaceTimeRow("truncates 19", 19, "0:00,01");
    addRaceTimeRow("truncates 59999", 59999, "0:59,99");
    addRaceTimeRow("truncates below the hour", 3599999, "59:59,99");

    // 596 h 31 min 23.647 s; hours shown modulo 100.
    addRaceTimeRow("int32 max", Int32Max, "96:31:23,64");
}

void TestTimeText::formatRaceTime()
{
    QFETCH(int, ms);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);

    QCOMPARE(FormatRaceTime(ms, separator), expected);
}

void TestTimeText::formatRaceTimeNegative_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    // A negative gap is written as '-' in front of the form of its absolute value.
    addRaceTimeRow("minus one hundredth", -10, "-0:00,01");
    addRaceTimeRow("minus a few hundredths", -30, "-0:00,03");
    addRaceTimeRow("minus below one hundredth truncates", -9, "-0:00,00");
    addRaceTimeRow("minus one minute five", -65430, "-1:05,43");
    addRaceTimeRow("minus one hour one minute", -3661230, "-1:01:01,23");
    addRaceTimeRow("int32 min", Int32Min, "-96:31:23,64");
    addRaceTimeRow("int32 min plus one", Int32Min + 1, "-96:31:23,64");
}

void TestTimeText::formatRaceTimeNegative()
{
    QFETCH(int, ms);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);

    QCOMPARE(FormatRaceTime(ms, separator), expected);
}

void TestTimeText::parseRaceTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    // The text is padded on the left to HH:MM:SS,cc and read as four fixed two-character fields.
    QTest::newRow("M:SS,cc") << "1:05,43" << 65430;
    QTest::newRow("MM:SS,cc reads minutes 10") << "10:00,00" << 600000;
    QTest::newRow("H:MM:SS,cc") << "1:01:01,23" << 3661230;
    QTest::newRow("HH:MM:SS,cc unpadded") << "23:59:59,99" << 86399990;
    QTest::newRow("single digit is hundredths") << "7" << 70;
    QTest::newRow("other form gives zero") << "1:2:3" << 0;
    QTest::newRow("empty") << "" << 0;

    QTest::newRow("9:59,99") << "9:59,99" << 599990;
    QTest::newRow("0:00,00") << "0:00,00" << 0;
    QTest::newRow("59:59,99") << "59:59,99" << 3599990;
    QTest::newRow("99:59:59,99") << "99:59:59,99" << 359999990;
    QTest::newRow("pass at 1 h 2 min 3.45 s") << "1:02:03,45" << 3723450;
    QTest::newRow("seconds and hundredths only") << "5,43" << 5430;
    QTest::newRow("two digits are hundredths") << "43" << 430;

    // The separator character itself is never read.
    QTest::newRow("dot separator") << "1:05.43" << 65430;
    QTest::newRow("dot separator with hours") << "1:01:01.23" << 3661230;

    // Twelve or more characters: the whole template comes first, so every field is 0.
    QTest::newRow("12 characters") << "123:59:59,99" << 0;
    QTest::newRow("12 characters, extra hundredth") << "00:00:00,001" << 0;
    QTest::newRow("far too long") << "1111111111111111" << 0;

    // A field that does not convert counts 0; the others still count.
    QTest::newRow("bad hours field") << "xx:01:05,43" << 65430;
    QTest::newRow("bad minutes field") << "01:xx:05,43" << 3605430;
    QTest::newRow("bad seconds field") << "01:01:x5,43" << 3660430;
    QTest::newRow("bad hundredths field") << "01:01:01,4x" << 3661000;
    QTest::newRow("all fields bad") << "ab:cd:ef,gh" << 0;

    // Fields are signed integers.
    QTest::newRow("negative hundredths field") << "0:00,-1" << -10;
}

void TestTimeText::parseRaceTime()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    QCOMPARE(ParseRaceTime(text), expected);
}

void TestTimeText::raceTimeRoundTrip_data()
{
    QTest::addColumn<QChar>("separator");

    QTest::newRow("comma") << QChar(QLatin1Char(','));
    QTest::newRow("dot") << QChar(QLatin1Char('.'));
}

void TestTimeText::raceTimeRoundTrip()
{
    QFETCH(QChar, separator);

    // A pass time travels as text through the pending list and must come back exactly.
    auto check = [separator](std::int32_t ms) {
        const QString text = FormatRaceTime(ms, separator);
        const std::int32_t back = ParseRaceTime(text);
        if (back != ms)
            QFAIL(qPrintable(QStringLiteral("%1 ms -> \"%2\" -> %3 ms").arg(ms).arg(text).arg(back)));
    };

    // Every hundredth of the first ten minutes.
    for (std::int32_t ms = 0; ms <= 600000; ms += 10) {
        check(ms);
        if (QTest::currentTestFailed())
            return;
    }
    // A coarse sweep up to 100 h whose step moves every digit.
    for (std::int32_t ms = 600000; ms < HundredHoursMs; ms += 9970) {
        check(ms);
        if (QTest::currentTestFailed())
            return;
    }
    // Around every hour boundary, where the form changes.
    for (std::int32_t hour = 1; hour < 100; ++hour) {
        for (std::int32_t delta = -20; delta <= 20; delta += 10) {
            check(hour * 3600000 + delta);
            if (QTest::currentTestFailed())
                return;
        }
    }
    check(HundredHoursMs - 10);
}

// ---------------------------------------------------------------------------
// Minutes and seconds (warning time)

void TestTimeText::formatMinSec_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0 << "00:00";
    QTest::newRow("default warning time") << 30000 << "00:30";
    QTest::newRow("five seconds") << 5000 << "00:05";
    QTest::newRow("one minute") << 60000 << "01:00";
    QTest::newRow("ten minutes") << 600000 << "10:00";
    QTest::newRow("last second of the hour") << 3599000 << "59:59";
    QTest::newRow("one hour wraps") << 3600000 << "00:00";
    QTest::newRow("past the hour wraps") << 3605000 << "00:05";
    QTest::newRow("truncates milliseconds") << 59999 << "00:59";
}

void TestTimeText::formatMinSec()
{
    QFETCH(int, ms);
    QFETCH(QString, expected);

    QCOMPARE(FormatMinSec(ms), expected);
}

void TestTimeText::parseMinSec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("MM:SS") << "00:30" << 30000;
    QTest::newRow("single digit is seconds") << "5" << 5000;
    QTest::newRow("two digits are seconds") << "30" << 30000;
    QTest::newRow("M:SS") << "1:30" << 90000;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("M:S does not convert") << "0:5" << 0;
    QTest::newRow("no range check") << "75:99" << 4599000;
    QTest::newRow("59:59") << "59:59" << 3599000;
    QTest::newRow("six characters give zero") << "100:00" << 0;
    QTest::newRow("bad minutes field") << "ab:30" << 30000;
    QTest::newRow("bad seconds field") << "05:xy" << 300000;
}

void TestTimeText::parseMinSec()
{
    QFETCH(QString, text);
    QFETCH(int, expected);

    QCOMPARE(ParseMinSec(text), expected);
}

void TestTimeText::minSecStepUpWrapsAtTheHour()
{
    // Stepping the warning time up from 59:55 writes the minutes modulo 60.
    QCOMPARE(FormatMinSec(ParseMinSec(u"59:55") + 5000), QStringLiteral("00:00"));
    QCOMPARE(FormatMinSec(ParseMinSec(u"00:30") + 5000), QStringLiteral("00:35"));
    QCOMPARE(FormatMinSec(ParseMinSec(u"00:58") + 5000), QStringLiteral("01:03"));
}

// ---------------------------------------------------------------------------
// Clock seconds (race duration)

void TestTimeText::formatClockSeconds_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0 << "00:00:00";
    QTest::newRow("default race duration") << 14400 << "04:00:00";
    QTest::newRow("one second") << 1 << "00:00:01";
    QTest::newRow("one minute") << 60 << "00:01:00";
    QTest::newRow("last second of the first hour") << 3599 << "00:59:59";
    QTest::newRow("one hour") << 3600 << "01:00:00";
    QTest::newRow("mixed") << 3723 << "01:02:03";
    QTest::newRow("last second of a day") << 86399 << "23:59:59";
    QTest::newRow("hours are not wrapped") << 360000 << "100:00:00";
    QTest::newRow("int32 max") << Int32Max << "596523:14:07";
}

void TestTimeText::formatClockSeconds()
{
    QFETCH(int, seconds);
    QFETCH(QString, expected);

    QCOMPARE(FormatClockSeconds(seconds), expected);
}

void TestTimeText::parseClockSeconds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");

    // Digit runs read from the right: seconds, minutes, hours; later runs are ignored.
    QTest::newRow("empty") << "" << true << 0;
    QTest::newRow("no digits") << "abc" << true << 0;
    QTest::newRow("minutes beyond 59") << "90:00" << true << 5400;
    QTest::newRow("single-digit runs") << "1:2:3" << true << 3723;
    QTest::newRow("seconds only") << "4" << true << 4;
    QTest::newRow("HH:MM:SS") << "04:00:00" << true << 14400;
    QTest::newRow("any separator") << "1.2.3" << true << 3723;
    QTest::newRow("fourth run ignored") << "1:2:3:4" << true << 7384;
    QTest::newRow("separators in a row act as one") << "1::2" << true << 62;
    QTest::newRow("leading separator") << ":5" << true << 5;
    QTest::newRow("trailing separator, first run is seconds") << "5:" << true << 5;
    QTest::newRow("minus is a separator") << "-5" << true << 5;
    QTest::newRow("three-digit hours") << "100:00:00" << true << 360000;
    QTest::newRow("seconds beyond 59") << "0:0:75" << true << 75;

    // Leading zeros do not count towards the size of a run.
    QTest::newRow("many leading zeros") << "000000000000000000005" << true << 5;
    QTest::newRow("leading zeros before int32 max") << "00000000002147483647" << true << Int32Max;

    // A run or the sum that does not fit a signed 32-bit number gives no value.
    QTest::newRow("run int32 max") << "2147483647" << true << Int32Max;
    QTest::newRow("run int32 max plus one") << "2147483648" << false << 0;
    QTest::newRow("run of eleven digits") << "99999999999" << false << 0;
    QTest::newRow("run too large in the minutes") << "2147483648:00" << false << 0;
    QTest::newRow("hours times 3600 too large") << "596524:00:00" << false << 0;
    QTest::newRow("sum exactly int32 max") << "596523:14:07" << true << Int32Max;
    QTest::newRow("sum one above int32 max") << "596523:14:08" << false << 0;
    QTest::newRow("minutes times 60 exactly int32 max") << "35791394:07" << true << Int32Max;
    QTest::newRow("minutes times 60 one above") << "35791394:08" << false << 0;
    QTest::newRow("seconds run max plus a minute") << "1:2147483647" << false << 0;
    QTest::newRow("ignored fourth run too large") << "99999999999:1:2:3" << false << 0;
}

void TestTimeText::parseClockSeconds()
{
    QFETCH(QString, text);
    QFETCH(bool, fits);
    QFETCH(int, expected);

    const std::optional<std::int32_t> result = ParseClockSeconds(text);
    QCOMPARE(result.has_value(), fits);
    if (fits)
        QCOMPARE(*result, expected);
}

void TestTimeText::clockSecondsRoundTrip()
{
    // The race duration field shows FormatClockSeconds and is read back with ParseClockSeconds.
    for (std::int32_t s = 0; s < 400 * 3600; s += 7) {
        const QString text = FormatClockSeconds(s);
        const std::optional<std::int32_t> back = ParseClockSeconds(text);
        if (!back || *back != s)
            QFAIL(qPrintable(QStringLiteral("%1 s -> \"%2\" does not read back").arg(s).arg(text)));
    }
    QCOMPARE(ParseClockSeconds(FormatClockSeconds(Int32Max)), std::optional<std::int32_t>(Int32Max));
}

QTEST_GUILESS_MAIN(TestTimeText)
#include "testtimetext.moc"
