#include "core/TimeText.h"

#include <QRegularExpression>

#include <cstdlib>
#include <limits>

namespace TimeText {
namespace {

// Builds a short text on the stack, so that a formatted time costs one allocation.
class TextBuffer
{
public:
    void put(QChar ch) { mData[mSize++] = ch; }
    void put(char ch) { put(QLatin1Char(ch)); }
    void number(std::int64_t value)
    {
        char digits[20];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0);
        while (n > 0)
            put(digits[--n]);
    }
    // Decimal text, with a '0' in front when it has a single character.
    void padded(std::int64_t value)
    {
        if (value < 10)
            put('0');
        number(value);
    }
    QString text() const { return QString(mData, mSize); }

private:
    QChar mData[48];
    qsizetype mSize = 0;
};

// Fixed-width fields line up from the right: the text is read as if padded on the left
// with the tail of the pattern, so that "1:05,43" reads like "00:01:05,43".
class PaddedText
{
public:
    PaddedText(QStringView text, QStringView pattern)
        : mText(text)
        , mPattern(pattern)
    {
        const qsizetype n = text.size();
        const qsizetype width = pattern.size();
        mPrefix = n == width ? 0 : (n == 0 || n > width ? width : width - n);
    }

    QChar at(qsizetype i) const
    {
        if (i >= mPrefix)
            return i - mPrefix < mText.size() ? mText[i - mPrefix] : QChar();
        // Short texts take the pattern's head and its last character before them.
        const qsizetype n = mText.size();
        if (n > 0 && n < mPattern.size() && i == mPrefix - 1)
            return mPattern.back();
        return mPattern[i];
    }

    // A two-character field as a signed decimal integer; 0 when it does not convert.
    int field(qsizetype pos) const
    {
        const QChar chars[2] = {at(pos), at(pos + 1)};
        bool ok = false;
        const int v = QStringView(chars, 2).toInt(&ok);
        return ok ? v : 0;
    }

private:
    QStringView mText;
    QStringView mPattern;
    qsizetype mPrefix;
};

// Negative durations show as '-' followed by the form of their absolute value.
template <typename Format>
QString withSign(std::int64_t value, Format format)
{
    TextBuffer out;
    if (value < 0) {
        out.put('-');
        value = -value;
    }
    format(out, value);
    return out.text();
}

} // namespace

QString FormatRaceTime(std::int32_t ms, QChar decimalSeparator)
{
    return withSign(ms, [decimalSeparator](TextBuffer &out, std::int64_t abs) {
        std::int64_t c = abs / 10;
        const std::int64_t hundredths = c % 100;
        c /= 100;
        const std::int64_t seconds = c % 60;
        const std::int64_t minutes = c / 60;
        if (minutes >= 60) {
            // Hours wrap at 100; the minutes are padded only behind an hour part.
            out.number((minutes / 60) % 100);
            out.put(':');
            out.padded(minutes % 60);
        } else {
            out.number(minutes);
        }
        out.put(':');
        out.padded(seconds);
        out.put(decimalSeparator);
        out.padded(hundredths);
    });
}

std::int32_t ParseRaceTime(QStringView text)
{
    const PaddedText padded(text, u"00:00:00,00");
    const std::int64_t ms = std::int64_t(padded.field(0)) * 3600000 + std::int64_t(padded.field(3)) * 60000
        + std::int64_t(padded.field(6)) * 1000 + std::int64_t(padded.field(9)) * 10;
    return static_cast<std::int32_t>(ms);
}

std::optional<std::int32_t> ParseTypedRaceTime(QStringView text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(?:(\\d{1,2}):)?(\\d{1,2}):(\\d\\d)(?:[.,](\\d{1,3}))?\\s*$"));
    const QRegularExpressionMatch m = pattern.match(text.toString());
    if (!m.hasMatch())
        return std::nullopt;
    const int minutes = m.capturedView(2).toInt();
    const int seconds = m.capturedView(3).toInt();
    if (minutes > 59 || seconds > 59)
        return std::nullopt;
    // "4" is four tenths, "45" 45 hundredths, "456" milliseconds.
    QString fraction = m.captured(4);
    fraction = fraction.leftJustified(3, QLatin1Char('0'));
    const std::int64_t ms = std::int64_t(m.capturedView(1).toInt()) * 3600000 + std::int64_t(minutes) * 60000
        + std::int64_t(seconds) * 1000 + fraction.toInt();
    return static_cast<std::int32_t>(ms);
}

QString FormatMinSec(std::int32_t ms)
{
    return withSign(ms, [](TextBuffer &out, std::int64_t abs) {
        out.padded((abs / 60000) % 60);
        out.put(':');
        out.padded((abs / 1000) % 60);
    });
}

std::int32_t ParseMinSec(QStringView text)
{
    const PaddedText padded(text, u"00:00");
    return padded.field(0) * 60000 + padded.field(3) * 1000;
}

QString FormatClockSeconds(std::int32_t seconds)
{
    return withSign(seconds, [](TextBuffer &out, std::int64_t abs) {
        out.padded(abs / 3600);
        out.put(':');
        out.padded((abs / 60) % 60);
        out.put(':');
        out.padded(abs % 60);
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
