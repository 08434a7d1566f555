#include "core/ResultsDate.h"

#include <QDate>
#include <QLocale>
#include <QTest>

// The results page's date: the system's short date, always with four year digits.
class TestResultsDate : public QObject
{
    Q_OBJECT

private slots:
    void resultsDate_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("text");
        const QDate day(2026, 12, 8);
        QTest::newRow("German") << "de_DE" << day << "08.12.2026";
        QTest::newRow("US") << "en_US" << day << "12/8/2026";
        QTest::newRow("year field not at the end") << "ko_KR" << day << "2026. 12. 8.";
        QTest::newRow("four digits already") << "sv_SE" << day << "2026-12-08";
        QTest::newRow("early in a century") << "de_DE" << QDate(2005, 1, 2) << "02.01.2005";
    }

    void resultsDate()
    {
        QFETCH(QString, locale);
        QFETCH(QDate, date);
        QTEST(ResultsDate(date, QLocale(locale)), "text");
    }

    void fourDigitYearFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("widened");
        QTest::newRow("two digits") << "dd.MM.yy" << "dd.MM.yyyy";
        QTest::newRow("four digits") << "yyyy-MM-dd" << "yyyy-MM-dd";
        QTest::newRow("quoted text") << "d 'yy' yy" << "d 'yy' yyyy";
        QTest::newRow("quoted quote") << "d'''yy" << "d'''yy";
        QTest::newRow("literal quote") << "d''yy" << "d''yyyy";
    }

    void fourDigitYearFormat()
    {
        QFETCH(QString, format);
        QTEST(FourDigitYearFormat(format), "widened");
    }
};

QTEST_GUILESS_MAIN(TestResultsDate)
#include "testresultsdate.moc"
