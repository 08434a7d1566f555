#pragma once

#include "core/RaceInput.h"
#include "session/JournalHeader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The lines of a journal. Every line is UTF-8 text ending in a space, the CRC-32 of what
// comes before that space (eight lowercase hex digits) and '\n', so that a line torn by a
// crash or a flipped bit is recognised:
//
//   CHRONOLAUF-JOURNAL <format> <program> key=value ... <crc>   the header (JournalHeader)
//   <kind> <tick or -> [v=..] [c=1] [a=..] [x=..] [l=..] [p=..] [s=..] [i=..] [n=1] [t=..] [o=..] [w=..] <crc>   one input
//   END <reason> <crc>                                          a clean end, always last
//
// Fields are separated by single spaces; texts are percent-encoded wherever a byte could
// break a line or a field (controls, space, '%', '=', ',', ';'), other UTF-8 stays as it
// is. An input writes only the fields that differ from RaceInput's defaults.
class JournalFormat
{
public:
    // The first bytes of every journal.
    static constexpr char Magic[] = "CHRONOLAUF-JOURNAL";
    // Where the kernel tells the id of the current boot.
    static constexpr char BootIdPath[] = "/proc/sys/kernel/random/boot_id";
    // The highest input kind this format knows: a journal with a later one is refused.
    static constexpr RaceInput::Kind LastKind = RaceInput::Kind::InsertPass;

    // The version of this program, as it goes into every header.
    static QString programVersion();
    // The boot id (a UUID), or empty if the file cannot be read.
    static QString readBootId(const QString &path = QString::fromLatin1(BootIdPath));

    // CRC-32 (the zlib/PNG polynomial), continued from crc.
    static std::uint32_t crc32(QByteArrayView data, std::uint32_t crc = 0);

    // Complete lines, checksum and '\n' included. The input line is appended to out, so a
    // writer can reuse one buffer.
    static QByteArray headerLine(const JournalHeader &header);
    static void appendInputLine(QByteArray &out, const RaceInput &input);
    static QByteArray endLine(const QString &reason);

    // The line (without '\n') minus its checksum, if the checksum is there and right.
    static std::optional<QByteArrayView> checkedBody(QByteArrayView line);
    // Whether a damaged line starts with a whole checked line: then its '\n' was lost to a
    // flipped bit and the two lines ran together, which a tear never does.
    static bool startsWithWholeLine(QByteArrayView line);
    // Whether a line (with or without checksum) starts like a header, and its format
    // version then: read before the checksum, because a newer format may check differently.
    static std::optional<int> headerVersion(QByteArrayView line);
    // The bodies of the three line types; nullopt if a field does not parse.
    static std::optional<JournalHeader> parseHeader(QByteArrayView body);
    static std::optional<RaceInput> parseInput(QByteArrayView body);
    static bool isEnd(QByteArrayView body);
    static std::optional<QString> parseEnd(QByteArrayView body);

    // Texts inside a field: percent-encoded, and strictly decoded (a stray '%' or invalid
    // UTF-8 is an error, not a replacement character).
    static void appendEncoded(QByteArray &out, QStringView text);
    static std::optional<QString> decode(QByteArrayView field);
    // Tables: every cell ends in ',' and every row in ';', so an empty row, an empty cell
    // and a missing cell stay apart.
    static void appendTable(QByteArray &out, const QList<QStringList> &table);
    static std::optional<QList<QStringList>> decodeTable(QByteArrayView field);

private:
    static void appendChecked(QByteArray &out, qsizetype bodyStart);
};
