#include "core/TimeText.h"

#include <cstdlib>
#include <limits>

namespace TimeText {
namespace {

// Decimal text, with a '0' in front when it has a single character.
void appendPadded(QString &out, std::int64_t value)
{
    if (value >= 0 && value < 10)
        out += QLatin1Char('0');
    out += QString::number(value);
}

// Fixed-width fields line up from the right: the text is padded on the left with the
// tail of the template, so that "1:05,43" reads like "00:01:05,43".
QString padLeft(QStringView text, QStringView pattern)
{
    const qsizetype n = text.size();
    const qsizetype width = pattern.size();
    if (n == width)
        return text.toString();
    if (n == 0)
        return pattern.toString();
    if (n > width)
        return pattern.toString().append(text);
    return pattern.left(width - 1 - n).toString().append(pattern.right(1)).append(text);
}

// A two-character field as a signed decimal integer; 0 when it does not convert.
int field(QStringView padded, qsizetype pos)
{
    const QStringView f = padded.mid(pos, 2);
    bool ok = false;
    const int v = f.toInt(&ok);
    return ok ? v : 0;
}

template <typename Format>
QString withSign(std::int64_t value, Format format)
{
    if (value >= 0)
        return format(value);
    return QLatin1Char('-') + format(-value);
}

} // namespace

QString FormatRaceTime(std::int32_t ms, QChar decimalSeparator)
{
    return withSign(ms, [decimalSeparator](std::int64_t abs) {
        std::int64_t c = abs / 10;
        const std::int64_t hundredths = c % 100;
        c /= 100;
        const std::int64_t seconds = c % 60;
        const std::int64_t minutes = c / 60;

        QString out;
        out.reserve(12);
        if (minutes >= 60) {
            out += QString::number((minutes / 60) % 100);
            out += QLatin1Char(':');
            appendPadded(out, minutes % 60);
        } else {
            out += QString::number(minutes);
        }
        out += QLatin1Char(':');
        appendPadded(out, seconds);
        out += decimalSeparator;
        appendPadded(out, hundredths);
        return out;
    });
}

std::int32_t ParseRaceTime(QStringView text)
{
    const QString padded = padLeft(text, u"00:00:00,00");
    const std::int64_t ms = std::int64_t(field(padded, 0)) * 3600000 + std::int64_t(field(padded, 3)) * 60000
        + std::int64_t(field(padded, 6)) * 1000 + std::int64_t(field(padded, 9)) * 10;
    return static_cast<std::int32_t>(ms);
}

QString FormatMinSec(std::int32_t ms)
{
    return withSign(ms, [](std::int64_t abs) {
        QString out;
        appendPadded(out, (abs / 60000) % 60);
        out += QLatin1Char(':');
        appendPadded(out, (abs / 1000) % 60);
        return out;
    });
}

std::int32_t ParseMinSec(QStringView text)
{
    const QString padded = padLeft(text, u"00:00");
    return field(padded, 0) * 60000 + field(padded, 3) * 1000;
}

QString FormatClockSeconds(std::int32_t seconds)
{
    return withSign(seconds, [](std::int64_t abs) {
        QString out;
        appendPadded(out, abs / 3600);
        out += QLatin1Char(':');
        appendPadded(out, (abs / 60) % 60);
        out += QLatin1Char(':');
        appendPadded(out, abs % 60);
        return out;
    });
}

std::optional<std::int32_t> ParseClockSeconds(QStringView text)
{
    static constexpr std::int64_t weights[] = {1, 60, 3600};
    constexpr std::int64_t max = std::numeric_limits<std::int32_t>::max();

    std::int64_t total = 0;
    int runIndex = 0;
    std::int64_t run = 0;
    std::int64_t scale = 1;
    bool inRun = false;
    bool overflow = false;

    auto endRun = [&] {
        if (!inRun)
            return;
        if (overflow || run > max)
            total = max + 1; // reported below, also for a run that would be ignored
        else if (runIndex < 3)
            total += run * weights[runIndex];
        ++runIndex;
        run = 0;
        scale = 1;
        inRun = false;
        overflow = false;
    };

    // Scan from the right; the implicit separator in front ends the leftmost run.
    for (qsizetype i = text.size() - 1; i >= -1; --i) {
        const QChar ch = i >= 0 ? text[i] : QLatin1Char('+');
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) {
            const int digit = ch.unicode() - '0';
            if (scale > max) {
                overflow = overflow || digit != 0;
            } else {
                run += digit * scale;
                scale *= 10;
                if (run > max)
                    overflow = true;
            }
            inRun = true;
        } else {
            endRun();
        }
        if (total > max)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(total);
}

} // namespace TimeText
