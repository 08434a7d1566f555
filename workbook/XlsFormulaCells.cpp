#include "workbook/XlsFormulaCells.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

constexpr std::uint32_t EndOfChain = 0xFFFFFFFEu;
// No list's workbook holds more formula cells; a broken file must not make us collect millions.
constexpr std::size_t MaxCells = 100'000;

// BIFF record numbers: the begin and end of a substream, a sheet's entry in the globals, and
// a formula cell (BIFF5/8, and the older BIFF3/4 numbers).
constexpr std::uint16_t Bof = 0x0809;
constexpr std::uint16_t Eof = 0x000A;
constexpr std::uint16_t BoundSheet = 0x0085;
constexpr std::uint16_t Formula = 0x0006;
constexpr std::uint16_t Formula3 = 0x0206;
constexpr std::uint16_t Formula4 = 0x0406;

std::uint32_t le(const QByteArray &bytes, qsizetype at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// The compound file's streams, read through its sector tables with every index checked.
class CompoundFile
{
public:
    explicit CompoundFile(const QByteArray &bytes) : mBytes(bytes) {}

    bool open()
    {
        if (mBytes.size() < 512)
            return false;
        const std::uint32_t shift = le(mBytes, 0x1E, 2);
        if (shift != 9 && shift != 12)
            return false;
        mSectorSize = qsizetype(1) << shift;
        // The sector table: its sectors are listed in the header, then in a chain of its own.
        std::vector<std::uint32_t> tableSectors;
        for (int i = 0; i < 109; ++i) {
            const std::uint32_t sector = le(mBytes, 0x4C + i * 4, 4);
            if (sector < EndOfChain)
                tableSectors.push_back(sector);
        }
        std::uint32_t more = le(mBytes, 0x44, 4);
        for (int guard = 0; more < EndOfChain && guard < 100'000; ++guard) {
            const qsizetype at = offset(more);
            if (at < 0)
                return false;
            for (qsizetype i = 0; i + 4 < mSectorSize; i += 4) {
                const std::uint32_t sector = le(mBytes, at + i, 4);
                if (sector < EndOfChain)
                    tableSectors.push_back(sector);
            }
            more = le(mBytes, at + mSectorSize - 4, 4);
        }
        for (const std::uint32_t sector : tableSectors) {
            const qsizetype at = offset(sector);
            if (at < 0)
                return false;
            for (qsizetype i = 0; i < mSectorSize; i += 4)
                mTable.push_back(le(mBytes, at + i, 4));
        }
        mDirectory = chain(le(mBytes, 0x30, 4), mTable, [this](std::uint32_t s) { return offset(s); }, mSectorSize);
        mMiniCutoff = le(mBytes, 0x38, 4);
        mMiniTable.clear();
        const QByteArray miniTable = chain(le(mBytes, 0x3C, 4), mTable, [this](std::uint32_t s) { return offset(s); }, mSectorSize);
        for (qsizetype i = 0; i + 4 <= miniTable.size(); i += 4)
            mMiniTable.push_back(le(miniTable, i, 4));
        return mDirectory.size() >= 128;
    }

    // The stream of that name (case as Excel writes it or not), nothing when there is none.
    std::optional<QByteArray> stream(const QString &name) const
    {
        const QByteArray root = mDirectory.left(128);
        const QByteArray miniStream = chain(le(root, 116, 4), mTable, [this](std::uint32_t s) { return offset(s); }, mSectorSize);
        for (qsizetype at = 0; at + 128 <= mDirectory.size(); at += 128) {
            const int length = int(le(mDirectory, at + 64, 2));
            if (mDirectory.at(at + 66) != 2 || length < 2 || length > 64)
                continue;
            QString entry;
            for (int i = 0; i < length / 2 - 1; ++i)
                entry += QChar(char16_t(le(mDirectory, at + i * 2, 2)));
            if (entry.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const std::uint32_t start = le(mDirectory, at + 116, 4);
            const qsizetype size = le(mDirectory, at + 120, 4);
            QByteArray data = std::uint32_t(size) < mMiniCutoff
                ? chain(start, mMiniTable, [&miniStream](std::uint32_t s) {
                      const qsizetype o = qsizetype(s) * 64;
                      return o + 64 <= miniStream.size() ? o : qsizetype(-1);
                  }, 64, &miniStream)
                : chain(start, mTable, [this](std::uint32_t s) { return offset(s); }, mSectorSize);
            if (data.size() < size)
                return std::nullopt;
            data.truncate(size);
            return data;
        }
        return std::nullopt;
    }

private:
    qsizetype offset(std::uint32_t sector) const
    {
        const qsizetype at = (qsizetype(sector) + 1) * mSectorSize;
        return sector < EndOfChain && at + mSectorSize <= mBytes.size() ? at : -1;
    }

    // The sectors of a chain one after the other; a chain that loops or leaves the file ends.
    template<typename Offset>
    QByteArray chain(std::uint32_t start, const std::vector<std::uint32_t> &table, Offset offsetOf, qsizetype size,
                     const QByteArray *source = nullptr) const
    {
        const QByteArray &from = source ? *source : mBytes;
        QByteArray data;
        std::uint32_t sector = start;
        for (std::size_t steps = 0; sector < table.size() && steps <= table.size(); ++steps) {
            const qsizetype at = offsetOf(sector);
            if (at < 0)
                break;
            data.append(from.constData() + at, size);
            sector = table[sector];
        }
        return data;
    }

    const QByteArray &mBytes;
    qsizetype mSectorSize = 512;
    std::uint32_t mMiniCutoff = 4096;
    std::vector<std::uint32_t> mTable;
    std::vector<std::uint32_t> mMiniTable;
    QByteArray mDirectory;
};

// A sheet's name as its entry in the globals gives it (BIFF8: Latin-1 or UTF-16; BIFF5: bytes).
QString sheetName(const QByteArray &record)
{
    if (record.size() < 8)
        return {};
    const int count = static_cast<unsigned char>(record.at(6));
    const bool wide = record.size() >= 8 + count * 2 && (record.at(7) & 1);
    if (wide) {
        // Read unit by unit: the record's bytes need not be aligned for char16_t.
        QString name;
        for (int i = 0; i < count; ++i)
            name += QChar(char16_t(le(record, 8 + i * 2, 2)));
        return name;
    }
    if (record.size() >= 8 + count && record.at(7) == 0)
        return QString::fromLatin1(record.constData() + 8, count);
    return QString::fromLatin1(record.constData() + 7, std::min<qsizetype>(count, record.size() - 7));
}

}

std::vector<XlsFormulaCells::Cell> XlsFormulaCells::find(const QByteArray &bytes)
{
    std::vector<Cell> cells;
    CompoundFile file(bytes);
    if (!file.open())
        return cells;
    std::optional<QByteArray> stream = file.stream(QStringLiteral("Workbook"));
    if (!stream)
        stream = file.stream(QStringLiteral("Book"));
    if (!stream)
        return cells;
    const QByteArray &data = *stream;
    // The sheets' substreams start where their entries in the globals say.
    struct Entry
    {
        qsizetype start;
        QString name;
    };
    std::vector<Entry> sheets;
    int depth = 0;
    int current = -1;
    for (qsizetype at = 0; at + 4 <= data.size();) {
        const auto id = std::uint16_t(le(data, at, 2));
        const qsizetype length = le(data, at + 2, 2);
        if (at + 4 + length > data.size())
            break;
        const QByteArray record = data.mid(at + 4, length);
        if (id == Bof) {
            if (depth == 0) {
                current = -1;
                for (std::size_t i = 0; i < sheets.size(); ++i) {
                    if (sheets[i].start == at)
                        current = int(i);
                }
            }
            ++depth;
        } else if (id == Eof) {
            depth = std::max(0, depth - 1);
        } else if (id == BoundSheet && length >= 8) {
            sheets.push_back({le(record, 0, 4), sheetName(record)});
        } else if ((id == Formula || id == Formula3 || id == Formula4) && depth == 1 && current >= 0 && length >= 4) {
            cells.push_back({.sheet = sheets[std::size_t(current)].name,
                             .sheetIndex = current,
                             .row = int(le(record, 0, 2)) + 1,
                             .column = int(le(record, 2, 2)) + 1});
            if (cells.size() >= MaxCells)
                break;
        }
        at += 4 + length;
    }
    return cells;
}
