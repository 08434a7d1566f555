#include "session/JournalReader.h"

#include "session/JournalFormat.h"

#include <QFile>

namespace {

QString damagedAt(qsizetype lineNumber)
{
    return QStringLiteral("Journal beschädigt in Zeile %1").arg(lineNumber);
}

// An input line whose checksum is right but whose kind is a number beyond the kinds this
// program knows: a later program wrote it, nothing is broken.
bool isLaterKind(QByteArrayView body)
{
    const qsizetype space = body.indexOf(' ');
    const QByteArrayView kind = space < 0 ? body : body.first(space);
    if (kind.isEmpty() || kind.size() > 9 || (kind.size() > 1 && kind[0] == '0'))
        return false;
    for (const char c : kind)
        if (c < '0' || c > '9')
            return false;
    return kind.toInt() > int(JournalFormat::LastKind);
}

const QString Foreign = QStringLiteral("Journal ist kein Chronolauf-Journal");

} // namespace

void JournalReader::reset()
{
    mHeader = {};
    mInputs.clear();
    mCleanEnd = false;
    mEndReason.clear();
    mDroppedLastLine = false;
    mValidBytes = 0;
    mReadBytes = 0;
    mError.clear();
    mProblem = Problem::None;
}

bool JournalReader::refuse(Problem problem, const QString &error)
{
    const std::int64_t readBytes = mReadBytes;
    reset();
    mReadBytes = readBytes;
    mProblem = problem;
    mError = error;
    return false;
}

bool JournalReader::read(const QString &path)
{
    reset();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(Problem::Unreadable, QStringLiteral("Journal kann nicht gelesen werden: %1").arg(file.errorString()));
    // A foreign file is refused by its first bytes, without reading all of it.
    const QByteArrayView magic(JournalFormat::Magic);
    if (file.peek(magic.size()) != magic)
        return refuse(Problem::Foreign, Foreign);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return refuse(Problem::Unreadable, QStringLiteral("Journal kann nicht gelesen werden: %1").arg(file.errorString()));
    const bool ok = parse(data);
    mReadBytes = data.size();
    return ok;
}

bool JournalReader::parse(QByteArrayView data)
{
    reset();
    qsizetype lineNumber = 0;
    qsizetype from = 0;
    bool ended = false;
    while (from < data.size()) {
        ++lineNumber;
        const qsizetype newline = data.indexOf('\n', from);
        // Without its '\n' a line is torn, however much of it made it to the disk.
        const bool complete = newline >= 0;
        const qsizetype end = complete ? newline : data.size();
        const QByteArrayView line = data.sliced(from, end - from);
        const bool last = !complete || end + 1 == data.size();
        from = end + 1;

        if (lineNumber == 1) {
            const auto version = JournalFormat::headerVersion(line);
            if (!version)
                return refuse(Problem::Foreign, Foreign);
            if (*version > JournalHeader::FormatVersion)
                return refuse(Problem::Newer, QStringLiteral("Journal hat ein neueres Format (Version %1)").arg(*version));
            if (!complete)
                return refuse(Problem::Foreign, Foreign);
            const auto body = JournalFormat::checkedBody(line);
            auto header = body ? JournalFormat::parseHeader(*body) : std::nullopt;
            if (!header)
                return refuse(Problem::Damaged, damagedAt(lineNumber));
            mHeader = std::move(*header);
            mValidBytes = from;
            continue;
        }

        const auto body = complete ? JournalFormat::checkedBody(line) : std::nullopt;
        if (!body) {
            if (last && !JournalFormat::startsWithWholeLine(line)) {
                mDroppedLastLine = true;
                break;
            }
            return refuse(Problem::Damaged, damagedAt(lineNumber));
        }
        // Nothing follows the END line but, at worst, a torn line.
        if (ended)
            return refuse(Problem::Damaged, damagedAt(lineNumber));
        if (JournalFormat::isEnd(*body)) {
            auto reason = JournalFormat::parseEnd(*body);
            if (!reason)
                return refuse(Problem::Damaged, damagedAt(lineNumber));
            mEndReason = std::move(*reason);
            ended = true;
        } else {
            auto input = JournalFormat::parseInput(*body);
            if (!input && isLaterKind(*body))
                return refuse(Problem::Newer, QStringLiteral("Journal hat ein neueres Format (unbekannte Eingabe in Zeile %1)").arg(lineNumber));
            if (!input)
                return refuse(Problem::Damaged, damagedAt(lineNumber));
            mInputs.append(std::move(*input));
        }
        mValidBytes = from;
    }
    if (lineNumber == 0)
        return refuse(Problem::Foreign, Foreign);
    // A line begun after the END line means the program went on and then died.
    mCleanEnd = ended && !mDroppedLastLine;
    return true;
}
