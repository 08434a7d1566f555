#include "session/JournalFormat.h"

#include <QFile>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <array>
#include <charconv>
#include <limits>

#ifndef CHRONOLAUF_VERSION
#error "the build passes the program version as CHRONOLAUF_VERSION"
#endif

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> CrcTable = makeCrcTable();

constexpr char HexDigits[] = "0123456789abcdef";
constexpr qsizetype ChecksumLength = 8;

// A line is split at single spaces; no field holds a raw space.
using Fields = QVarLengthArray<QByteArrayView, 24>;

Fields splitFields(QByteArrayView body)
{
    Fields fields;
    qsizetype from = 0;
    for (;;) {
        const qsizetype space = body.indexOf(' ', from);
        if (space < 0) {
            fields.append(body.sliced(from));
            return fields;
        }
        fields.append(body.sliced(from, space - from));
        from = space + 1;
    }
}

// Decimal only, an optional '-', no '+', no spaces, no leading zeros beyond a lone "0":
// one spelling per number, so a flipped digit can never read as the same field.
std::optional<std::int64_t> parseInteger(QByteArrayView text, std::int64_t min, std::int64_t max)
{
    if (text.isEmpty() || text.size() > 20)
        return std::nullopt;
    const char *first = text.data();
    const char *last = first + text.size();
    const bool negative = *first == '-';
    const char *digits = negative ? first + 1 : first;
    if (digits == last || (*digits == '0' && (last - digits > 1 || negative)))
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || value < min || value > max)
        return std::nullopt;
    return value;
}

template<typename T>
std::optional<T> parseAs(QByteArrayView text, std::int64_t min = std::numeric_limits<T>::min(),
                         std::int64_t max = std::numeric_limits<T>::max())
{
    if (const auto value = parseInteger(text, min, max))
        return static_cast<T>(*value);
    return std::nullopt;
}

std::optional<bool> parseFlag(QByteArrayView text)
{
    if (text == "0")
        return false;
    if (text == "1")
        return true;
    return std::nullopt;
}

void appendInteger(QByteArray &out, std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

// Bytes that would break a line or a field; everything else, UTF-8 included, stays readable.
constexpr bool mustEncode(unsigned char byte)
{
    return byte <= 0x20 || byte == 0x7F || byte == '%' || byte == '=' || byte == ',' || byte == ';';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "key=value" with a non-empty key.
std::optional<std::pair<QByteArrayView, QByteArrayView>> keyValue(QByteArrayView field)
{
    const qsizetype equals = field.indexOf('=');
    if (equals <= 0)
        return std::nullopt;
    return std::pair{field.first(equals), field.sliced(equals + 1)};
}

} // namespace

QString JournalFormat::programVersion()
{
    return QStringLiteral(CHRONOLAUF_VERSION);
}

QString JournalFormat::readBootId(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The kernel's file is one UUID line; anything far longer is not a boot id.
    return QString::fromLatin1(file.read(128).trimmed());
}

std::uint32_t JournalFormat::crc32(QByteArrayView data, std::uint32_t crc)
{
    crc = ~crc;
    for (const char byte : data)
        crc = CrcTable[(crc ^ static_cast<unsigned char>(byte)) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

void JournalFormat::appendChecked(QByteArray &out, qsizetype bodyStart)
{
    const std::uint32_t crc = crc32(QByteArrayView(out).sliced(bodyStart));
    char tail[ChecksumLength + 2];
    tail[0] = ' ';
    for (int i = 0; i < ChecksumLength; ++i)
        tail[1 + i] = HexDigits[(crc >> (28 - 4 * i)) & 0xFu];
    tail[ChecksumLength + 1] = '\n';
    out.append(tail, sizeof tail);
}

QByteArray JournalFormat::headerLine(const JournalHeader &h)
{
    QByteArray out;
    out.reserve(512);
    out += Magic;
    out += ' ';
    appendInteger(out, JournalHeader::FormatVersion);
    out += ' ';
    appendEncoded(out, programVersion());
    const auto number = [&out](const char *key, std::int64_t value) {
        out += ' ';
        out += key;
        out += '=';
        appendInteger(out, value);
    };
    const auto text = [&out](const char *key, const QString &value) {
        out += ' ';
        out += key;
        out += '=';
        appendEncoded(out, value);
    };
    const SessionSetup &s = h.setup;
    const auto level = [&out](const char *key, std::optional<int> value) {
        out += ' ';
        out += key;
        out += '=';
        if (value)
            appendInteger(out, *value);
        else
            out += '-';
    };
    number("cars", s.participantCount);
    number("duration", s.durationSeconds);
    text("warn", s.warnText);
    number("laps", s.lapLimit);
    number("barriers", s.barriers.pack());
    text("title", s.title);
    number("type", s.sessionType);
    out += " starters=";
    appendTable(out, s.starters);
    text("locale", h.locale);
    number("port", s.portOpen ? 1 : 0);
    number("armed", s.barriersArmed ? 1 : 0);
    number("start", h.startTick);
    number("wallclock", h.startWallClockMs);
    text("boot", h.bootId);
    level("startlevel", s.startLevel);
    level("finishlevel", s.finishLevel);
    appendChecked(out, 0);
    return out;
}

void JournalFormat::appendInputLine(QByteArray &out, const RaceInput &in)
{
    const qsizetype start = out.size();
    appendInteger(out, static_cast<int>(in.kind));
    out += ' ';
    if (in.tick)
        appendInteger(out, *in.tick);
    else
        out += '-';
    if (in.value != 0) {
        out += " v=";
        appendInteger(out, in.value);
    }
    if (in.confirmed)
        out += " c=1";
    if (in.answers != RaceInput::Question::None) {
        out += " a=";
        appendInteger(out, static_cast<int>(in.answers));
    }
    if (!in.text.isEmpty()) {
        out += " x=";
        appendEncoded(out, in.text);
    }
    if (in.lines != 0) {
        out += " l=";
        appendInteger(out, in.lines);
    }
    if (in.pulses != 0) {
        out += " p=";
        appendInteger(out, in.pulses);
    }
    if (!in.table.isEmpty()) {
        out += " s=";
        appendTable(out, in.table);
    }
    if (in.pass != 0) {
        out += " i=";
        appendInteger(out, in.pass);
    }
    if (in.noLap)
        out += " n=1";
    if (in.raceTime != 0) {
        out += " t=";
        appendInteger(out, in.raceTime);
    }
    if (!in.operatorName.isEmpty()) {
        out += " o=";
        appendEncoded(out, in.operatorName);
    }
    if (in.wallClockMs != 0) {
        out += " w=";
        appendInteger(out, in.wallClockMs);
    }
    appendChecked(out, start);
}

QByteArray JournalFormat::endLine(const QString &reason)
{
    QByteArray out("END ");
    appendEncoded(out, reason);
    appendChecked(out, 0);
    return out;
}

std::optional<QByteArrayView> JournalFormat::checkedBody(QByteArrayView line)
{
    if (line.size() < ChecksumLength + 1 || line[line.size() - ChecksumLength - 1] != ' ')
        return std::nullopt;
    std::uint32_t stored = 0;
    for (const char c : line.last(ChecksumLength)) {
        // Only the lowercase spelling the writer uses: any other is a changed byte.
        const int digit = (c >= 'A' && c <= 'F') ? -1 : hexValue(c);
        if (digit < 0)
            return std::nullopt;
        stored = (stored << 4) | static_cast<std::uint32_t>(digit);
    }
    const QByteArrayView body = line.first(line.size() - ChecksumLength - 1);
    if (crc32(body) != stored)
        return std::nullopt;
    return body;
}

bool JournalFormat::startsWithWholeLine(QByteArrayView line)
{
    for (qsizetype end = ChecksumLength + 1; end < line.size(); ++end)
        if (line[end - ChecksumLength - 1] == ' ' && checkedBody(line.first(end)))
            return true;
    return false;
}

std::optional<int> JournalFormat::headerVersion(QByteArrayView line)
{
    const QByteArrayView magic(Magic);
    if (!line.startsWith(magic) || line.size() <= magic.size() || line[magic.size()] != ' ')
        return std::nullopt;
    const QByteArrayView rest = line.sliced(magic.size() + 1);
    const qsizetype space = rest.indexOf(' ');
    return parseAs<int>(space < 0 ? rest : rest.first(space), 1);
}

std::optional<JournalHeader> JournalFormat::parseHeader(QByteArrayView body)
{
    const Fields fields = splitFields(body);
    if (fields.size() < 3 || fields[0] != QByteArrayView(Magic))
        return std::nullopt;
    JournalHeader h;
    const auto format = parseAs<int>(fields[1], 1, JournalHeader::FormatVersion);
    const auto program = decode(fields[2]);
    if (!format || !program)
        return std::nullopt;
    h.formatVersion = *format;
    h.programVersion = *program;

    // Each known key once; keys a later program adds are skipped.
    static constexpr const char *Keys[] = {"cars",   "duration", "warn",  "laps",  "barriers",  "title", "type", "starters",
                                           "locale", "port",     "armed", "start", "wallclock", "boot",
                                           "startlevel", "finishlevel"};
    constexpr int KeyCount = int(std::size(Keys));
    // Format 1 had no line levels.
    constexpr int RequiredKeys = 14;
    SessionSetup &s = h.setup;
    bool seen[KeyCount] = {};
    for (qsizetype i = 3; i < fields.size(); ++i) {
        const auto pair = keyValue(fields[i]);
        if (!pair)
            return std::nullopt;
        const auto [key, value] = *pair;
        int index = 0;
        while (index < KeyCount && key != QByteArrayView(Keys[index]))
            ++index;
        if (index == KeyCount)
            continue;
        if (seen[index])
            return std::nullopt;
        seen[index] = true;
        bool ok = true;
        const auto number = [&ok, value](auto &target, std::int64_t min, std::int64_t max) {
            using T = std::remove_reference_t<decltype(target)>;
            if (const auto parsed = parseAs<T>(value, min, max))
                target = *parsed;
            else
                ok = false;
        };
        const auto flag = [&ok, value](bool &target) {
            if (const auto parsed = parseFlag(value))
                target = *parsed;
            else
                ok = false;
        };
        const auto text = [&ok, value](QString &target) {
            if (auto parsed = decode(value))
                target = std::move(*parsed);
            else
                ok = false;
        };
        switch (index) {
        case 0: number(s.participantCount, 1, 1000); break;
        case 1: number(s.durationSeconds, 0, std::numeric_limits<int>::max()); break;
        case 2: text(s.warnText); break;
        case 3: number(s.lapLimit, 0, 100000); break;
        case 4: {
            int packed = 0;
            number(packed, 0, std::numeric_limits<int>::max());
            s.barriers = BarrierSettings::unpack(packed);
            break;
        }
        case 5: text(s.title); break;
        case 6: number(s.sessionType, 0, 1000); break;
        case 7:
            if (auto rows = decodeTable(value))
                s.starters = std::move(*rows);
            else
                ok = false;
            break;
        case 8: text(h.locale); break;
        case 9: flag(s.portOpen); break;
        case 10: flag(s.barriersArmed); break;
        case 11: number(h.startTick, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()); break;
        case 12: number(h.startWallClockMs, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()); break;
        case 13: text(h.bootId); break;
        case 14:
        case 15: {
            std::optional<int> &target = index == 14 ? s.startLevel : s.finishLevel;
            if (value == "-")
                target.reset();
            else if (const auto parsed = parseAs<int>(value, 0, 0xFF))
                target = *parsed;
            else
                ok = false;
            break;
        }
        default: break;
        }
        if (!ok)
            return std::nullopt;
    }
    for (int i = 0; i < RequiredKeys; ++i)
        if (!seen[i])
            return std::nullopt;
    return h;
}

std::optional<RaceInput> JournalFormat::parseInput(QByteArrayView body)
{
    const Fields fields = splitFields(body);
    if (fields.size() < 2)
        return std::nullopt;
    const auto kind = parseAs<int>(fields[0], 0, static_cast<int>(LastKind));
    // A set-up is the header's, never a line's.
    if (!kind || *kind == static_cast<int>(RaceInput::Kind::SetupRestored))
        return std::nullopt;
    RaceInput in{.kind = static_cast<RaceInput::Kind>(*kind)};
    if (fields[1] != "-") {
        const auto tick = parseAs<std::int32_t>(fields[1]);
        if (!tick)
            return std::nullopt;
        in.tick = *tick;
    }
    unsigned seen = 0;
    for (qsizetype i = 2; i < fields.size(); ++i) {
        const QByteArrayView field = fields[i];
        // Every key is one letter; the order is free, a repeat is not.
        if (field.size() < 2 || field[1] != '=')
            return std::nullopt;
        const char key = field[0];
        const QByteArrayView value = field.sliced(2);
        const unsigned bit = 1u << (static_cast<unsigned char>(key) & 31u);
        if (seen & bit)
            return std::nullopt;
        seen |= bit;
        switch (key) {
        case 'v':
            if (const auto v = parseAs<int>(value))
                in.value = *v;
            else
                return std::nullopt;
            break;
        case 'c':
            if (const auto c = parseFlag(value))
                in.confirmed = *c;
            else
                return std::nullopt;
            break;
        case 'a':
            if (const auto a = parseAs<int>(value, 0, static_cast<int>(RaceInput::Question::Quit)))
                in.answers = static_cast<RaceInput::Question>(*a);
            else
                return std::nullopt;
            break;
        case 'x':
            if (auto x = decode(value))
                in.text = std::move(*x);
            else
                return std::nullopt;
            break;
        case 'l':
            if (const auto l = parseAs<std::uint8_t>(value))
                in.lines = *l;
            else
                return std::nullopt;
            break;
        case 'p':
            if (const auto p = parseAs<std::uint8_t>(value))
                in.pulses = *p;
            else
                return std::nullopt;
            break;
        case 's':
            if (auto s = decodeTable(value))
                in.table = std::move(*s);
            else
                return std::nullopt;
            break;
        case 'n':
            if (const auto n = parseFlag(value))
                in.noLap = *n;
            else
                return std::nullopt;
            break;
        case 'i':
            if (const auto id = parseAs<std::uint32_t>(value, 1))
                in.pass = *id;
            else
                return std::nullopt;
            break;
        case 't':
            if (const auto t = parseAs<std::int32_t>(value))
                in.raceTime = *t;
            else
                return std::nullopt;
            break;
        case 'o':
            if (auto o = decode(value))
                in.operatorName = std::move(*o);
            else
                return std::nullopt;
            break;
        case 'w':
            if (const auto w = parseAs<std::int64_t>(value))
                in.wallClockMs = *w;
            else
                return std::nullopt;
            break;
        default: return std::nullopt;
        }
    }
    return in;
}

bool JournalFormat::isEnd(QByteArrayView body)
{
    return body.startsWith("END ") || body == "END";
}

std::optional<QString> JournalFormat::parseEnd(QByteArrayView body)
{
    const Fields fields = splitFields(body);
    if (fields.size() != 2 || fields[0] != "END")
        return std::nullopt;
    return decode(fields[1]);
}

void JournalFormat::appendEncoded(QByteArray &out, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char byte : utf8) {
        const auto b = static_cast<unsigned char>(byte);
        if (mustEncode(b)) {
            const char escape[3] = {'%', HexDigits[b >> 4], HexDigits[b & 0xFu]};
            out.append(escape, 3);
        } else {
            out += byte;
        }
    }
}

std::optional<QString> JournalFormat::decode(QByteArrayView field)
{
    bool plainAscii = true;
    for (const char byte : field) {
        const auto b = static_cast<unsigned char>(byte);
        if (b >= 0x80 || b == '%')
            plainAscii = false;
        else if (mustEncode(b))
            return std::nullopt;
    }
    if (plainAscii)
        return QString::fromLatin1(field);

    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            bytes += field[i];
            continue;
        }
        if (i + 2 >= field.size())
            return std::nullopt;
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

void JournalFormat::appendTable(QByteArray &out, const QList<QStringList> &table)
{
    for (const QStringList &row : table) {
        for (const QString &cell : row) {
            appendEncoded(out, cell);
            out += ',';
        }
        out += ';';
    }
}

std::optional<QList<QStringList>> JournalFormat::decodeTable(QByteArrayView field)
{
    QList<QStringList> table;
    qsizetype rowStart = 0;
    while (rowStart < field.size()) {
        const qsizetype rowEnd = field.indexOf(';', rowStart);
        if (rowEnd < 0)
            return std::nullopt;
        QStringList row;
        qsizetype cellStart = rowStart;
        while (cellStart < rowEnd) {
            const qsizetype cellEnd = field.indexOf(',', cellStart);
            if (cellEnd < 0 || cellEnd > rowEnd)
                return std::nullopt;
            auto cell = decode(field.sliced(cellStart, cellEnd - cellStart));
            if (!cell)
                return std::nullopt;
            row.append(std::move(*cell));
            cellStart = cellEnd + 1;
        }
        table.append(std::move(row));
        rowStart = rowEnd + 1;
    }
    return table;
}
