#include "core/HtmlText.h"

#include <QString>

namespace HtmlText {

void append(QByteArray &out, QStringView text, Encoding encoding)
{
    const QString escapedText = text.toString().toHtmlEscaped();
    if (encoding == Encoding::Utf8) {
        out += escapedText.toUtf8();
        return;
    }
    // QStringEncoder has no fallback to character references, so the characters go one by one.
    for (qsizetype i = 0; i < escapedText.size(); ++i) {
        const QChar ch = escapedText[i];
        if (ch.unicode() < 0x100) {
            out += char(ch.unicode());
            continue;
        }
        char32_t code = ch.unicode();
        if (ch.isHighSurrogate() && i + 1 < escapedText.size() && escapedText[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(ch, escapedText[++i]);
        out += "&#" + QByteArray::number(quint32(code)) + ';';
    }
}

QByteArray escaped(QStringView text, Encoding encoding)
{
    QByteArray out;
    append(out, text, encoding);
    return out;
}

} // namespace HtmlText
