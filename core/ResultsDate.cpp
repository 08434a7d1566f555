#include "core/ResultsDate.h"

#include <QDate>
#include <QLocale>

QString ResultsDate(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, FourDigitYearFormat(locale.dateFormat(QLocale::ShortFormat)));
}

QString FourDigitYearFormat(const QString &format)
{
    QString result;
    result.reserve(format.size() + 2);
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'')
            quoted = !quoted; // "''" toggles twice and stays a literal quote either way
        if (quoted || c != u'y') {
            result += c;
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run) == u'y')
            ++run;
        result += run == 2 ? QStringLiteral("yyyy") : format.mid(i, run);
        i += run;
    }
    return result;
}
