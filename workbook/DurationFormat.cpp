#include "workbook/DurationFormat.h"

namespace {

constexpr std::int32_t hour = 3600 * 1000;
constexpr double day = 86400.0 * 1000.0;

} // namespace

bool DurationFormat::fits(std::int32_t ms)
{
    return ms >= 0 && ms < 100 * hour;
}

double DurationFormat::days(std::int32_t ms)
{
    return double(ms / 10 * 10) / day;
}

QString DurationFormat::code(std::int32_t ms, QChar decimalSeparator)
{
    const QString locale = decimalSeparator == QLatin1Char(',') ? QStringLiteral("[$-407]")
        : decimalSeparator == QLatin1Char('.')                 ? QStringLiteral("[$-409]")
                                                               : QString();
    return locale + (ms / 10 * 10 < hour ? QStringLiteral("[m]:ss.00") : QStringLiteral("[h]:mm:ss.00"));
}
