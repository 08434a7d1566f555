#include "live/StandingsJson.h"

#include "core/CorrectionText.h"
#include "core/RaceTable.h"
#include "core/ResultColumns.h"
#include "core/ResultsSnapshot.h"
#include "core/TimeText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace StandingsJson {
namespace {

// Writes straight into the byte array: the standings go out after every input, to every
// client, so building a QJsonObject tree and serialising it again would be wasted work.
// Room is made in advance for the worst case of each piece, the bytes are then written
// through a plain pointer, and the array is cut to its length at the end.
class Writer
{
public:
    explicit Writer(qsizetype expected) { mOut.resize(expected); }

    void raw(const char *text) { raw(text, qsizetype(std::strlen(text))); }
    void raw(const char *text, qsizetype n)
    {
        std::memcpy(room(n), text, size_t(n));
        mSize += n;
    }

    // The key with its quotes and colon, after a comma unless it opens its object.
    void key(const char *name, bool first = false)
    {
        if (!first)
            raw(",");
        raw("\"");
        raw(name);
        raw("\":");
    }

    void number(std::int64_t value)
    {
        char *p = room(24);
        mSize += std::to_chars(p, p + 24, value).ptr - p;
    }

    void boolean(bool value) { value ? raw("true", 4) : raw("false", 5); }

    // A JSON string in UTF-8. Besides what JSON requires (quote, backslash, control
    // characters), '<', '>' and '&' are escaped so that the text can sit inside a script
    // element of the live page without ever closing it, and U+2028/U+2029 so that older
    // script engines, which took them for line ends, read it too.
    void string(QStringView text)
    {
        // Six bytes ("\u00XX") is the most one UTF-16 unit can become.
        char *const begin = room(text.size() * 6 + 2);
        char *p = begin;
        *p++ = '"';
        const char16_t *s = text.utf16();
        const char16_t *const end = s + text.size();
        while (s < end) {
            const char16_t c = *s++;
            if (c < 0x80) {
                if (c >= 0x20 && c != '"' && c != '\\' && c != '<' && c != '>' && c != '&') {
                    *p++ = char(c);
                } else if (c == '"' || c == '\\') {
                    *p++ = '\\';
                    *p++ = char(c);
                } else {
                    p = escaped(p, c);
                }
            } else if (c < 0x800) {
                *p++ = char(0xC0 | (c >> 6));
                *p++ = char(0x80 | (c & 0x3F));
            } else if (c == 0x2028 || c == 0x2029) {
                p = escaped(p, c);
            } else if (QChar::isHighSurrogate(c) && s < end && QChar::isLowSurrogate(*s)) {
                const char32_t u = QChar::surrogateToUcs4(c, *s++);
                *p++ = char(0xF0 | (u >> 18));
                *p++ = char(0x80 | ((u >> 12) & 0x3F));
                *p++ = char(0x80 | ((u >> 6) & 0x3F));
                *p++ = char(0x80 | (u & 0x3F));
            } else if (QChar::isSurrogate(c)) {
                // A lone half of a pair has no UTF-8 form; the escape hands it on unchanged.
                p = escaped(p, c);
            } else {
                *p++ = char(0xE0 | (c >> 12));
                *p++ = char(0x80 | ((c >> 6) & 0x3F));
                *p++ = char(0x80 | (c & 0x3F));
            }
        }
        *p++ = '"';
        mSize += p - begin;
    }

    QByteArray take()
    {
        mOut.resize(mSize);
        return std::move(mOut);
    }

private:
    static char *escaped(char *p, char16_t c)
    {
        static constexpr char hex[] = "0123456789abcdef";
        *p++ = '\\';
        *p++ = 'u';
        *p++ = hex[(c >> 12) & 0xF];
        *p++ = hex[(c >> 8) & 0xF];
        *p++ = hex[(c >> 4) & 0xF];
        *p++ = hex[c & 0xF];
        return p;
    }

    // Space for n more bytes, growing by doubling so that a bad estimate costs little.
    char *room(qsizetype n)
    {
        if (mSize + n > mOut.size())
            mOut.resize(std::max(mOut.size() * 2, mSize + n));
        return mOut.data() + mSize;
    }

    QByteArray mOut;
    qsizetype mSize = 0;
};

const char *stateName(SessionState state)
{
    switch (state) {
    case SessionState::Running: return "running";
    case SessionState::Ended: return "ended";
    case SessionState::Idle: break;
    }
    return "idle";
}

// One correction in effect, its texts as the trail shows them. Participants go by their key
// labels ("3", "F2"), as the operator named them; toParticipant and newLap only for a move.
void correction(Writer &out, const Correction &c, QChar decimalSeparator)
{
    // The trail's row: "Uhrzeit" (the wall clock) first, "Rennzeit" (when it was made) second.
    const QStringList cells = CorrectionText::cells(c, decimalSeparator);
    out.key("action", true);
    out.string(CorrectionText::action(c.action));
    out.key("participant");
    out.string(KeyLabel(c.participant));
    if (c.action == Correction::Action::Move) {
        out.key("toParticipant");
        out.string(KeyLabel(c.toParticipant));
    }
    out.key("lap");
    out.number(c.lap);
    if (c.action == Correction::Action::Move) {
        out.key("newLap");
        out.number(c.newLap);
    }
    out.key("passTime");
    out.string(TimeText::FormatRaceTime(c.passTime, decimalSeparator));
    out.key("madeAt");
    out.string(cells[1]);
    out.key("wallClock");
    out.string(cells[0]);
    out.key("operator");
    out.string(c.operatorName);
    out.key("reason");
    out.string(c.reason);
}

} // namespace

QByteArray of(const ResultsSnapshot &results, const QString &date, Laps laps)
{
    qsizetype expected = 1024;
    for (const ResultsSnapshot::Row &row : results.rows)
        expected += 256 + (laps == Laps::Included ? qsizetype(row.lapTimes.size()) * 8 : 0);
    expected += qsizetype(results.corrections.size()) * 384;
    Writer out(expected);

    out.raw("{");
    out.key("title", true);
    out.string(results.title);
    out.key("type");
    out.string(results.sessionType);
    out.key("date");
    out.string(date);
    out.key("state");
    out.raw("\"");
    out.raw(stateName(results.state));
    out.raw("\"");
    out.key("remaining");
    out.string(results.remainingText);
    out.key("remainingSeconds");
    out.number(results.remainingSeconds);
    out.key("gong");
    out.boolean(results.gong);
    out.key("leaderLaps");
    out.number(results.leaderLaps);
    out.key("decimalSeparator");
    out.string(QStringView(&results.decimalSeparator, 1));

    out.key("columns");
    out.raw("[");
    for (std::size_t i = 0; i < ResultColumns.size(); ++i) {
        if (i > 0)
            out.raw(",");
        out.string(results.columnTitles[ResultColumns[i]]);
    }
    out.raw("]");

    out.key("rows");
    out.raw("[");
    for (std::size_t r = 0; r < results.rows.size(); ++r) {
        const ResultsSnapshot::Row &row = results.rows[r];
        out.raw(r > 0 ? ",{" : "{");
        out.key("participant", true);
        out.number(row.participant);
        out.key("cells");
        out.raw("[");
        for (std::size_t i = 0; i < ResultColumns.size(); ++i) {
            if (i > 0)
                out.raw(",");
            out.string(row.cells[ResultColumns[i]]);
        }
        out.raw("]");
        if (laps == Laps::Included) {
            out.key("laps");
            out.raw("[");
            for (std::size_t i = 0; i < row.lapTimes.size(); ++i) {
                if (i > 0)
                    out.raw(",");
                out.number(row.lapTimes[i]);
            }
            out.raw("]");
        }
        out.key("finished");
        out.boolean(row.finished);
        out.key("out");
        out.boolean(row.out);
        out.key("corrected");
        out.boolean(row.corrected);
        out.raw("}");
    }
    out.raw("]");

    // Always there, empty without corrections, so that a client needs no test for it.
    out.key("corrections");
    out.raw("[");
    for (std::size_t k = 0; k < results.corrections.size(); ++k) {
        out.raw(k > 0 ? ",{" : "{");
        correction(out, results.corrections[k], results.decimalSeparator);
        out.raw("}");
    }
    out.raw("]}");
    return out.take();
}

} // namespace StandingsJson
