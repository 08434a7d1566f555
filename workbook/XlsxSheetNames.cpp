#include "workbook/XlsxSheetNames.h"

namespace {

// Cuts text to at most length characters without splitting a surrogate pair.
QString leftChars(const QString &text, int length)
{
    if (text.size() <= length)
        return text;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

// The name with its forbidden characters replaced and trimmed to the allowed length.
QString cleaned(const QString &wanted, int number)
{
    QString name = wanted;
    for (QChar &c : name) {
        if (QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    // A leading or trailing apostrophe would clash with the quoting in formulas.
    if (name.startsWith(QLatin1Char('\'')))
        name[0] = QLatin1Char('_');
    name = leftChars(name, XlsxSheetNames::maxLength);
    if (name.endsWith(QLatin1Char('\'')))
        name[name.size() - 1] = QLatin1Char('_');
    if (name.trimmed().isEmpty())
        name = QStringLiteral("Tabelle%1").arg(number);
    return name;
}

// True when name is already given out; "History" is reserved by the application as well.
bool isTaken(const QString &name, const QStringList &used)
{
    return used.contains(name, Qt::CaseInsensitive)
        || name.compare(QLatin1String("History"), Qt::CaseInsensitive) == 0;
}

} // namespace

QStringList XlsxSheetNames::makeValid(const QStringList &wanted, const QStringList &taken)
{
    QStringList used = taken;
    QStringList names;
    for (int i = 0; i < wanted.size(); ++i) {
        const QString base = cleaned(wanted.at(i), i + 1);
        QString name = base;
        for (int n = 2; isTaken(name, used); ++n) {
            const QString suffix = QStringLiteral(" (%1)").arg(n);
            name = leftChars(base, maxLength - int(suffix.size())) + suffix;
        }
        used.append(name);
        names.append(name);
    }
    return names;
}
