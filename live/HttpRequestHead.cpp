#include "live/HttpRequestHead.h"

namespace {

using Outcome = HttpRequestHead::Outcome;

HttpRequestHead invalid(int status)
{
    HttpRequestHead head;
    head.outcome = Outcome::Invalid;
    head.status = status;
    return head;
}

// The characters of a method or a header name.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (!isTokenChar(c))
            return false;
    return true;
}

// A request target in origin form: "/" and visible ASCII, no spaces.
bool isOriginTarget(QByteArrayView text)
{
    if (text.isEmpty() || text.front() != '/')
        return false;
    for (const char c : text)
        if (c <= ' ' || c >= 0x7F)
            return false;
    return true;
}

// A header value: visible characters, spaces and tabs; bytes above ASCII pass untouched.
bool isFieldValue(QByteArrayView text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7F)
            return false;
    }
    return true;
}

// The next line, without its ending (CRLF, or a bare LF as some tools send it).
QByteArrayView takeLine(QByteArrayView &rest)
{
    const qsizetype lf = rest.indexOf('\n');
    QByteArrayView line = rest.first(lf);
    rest = rest.sliced(lf + 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

HttpRequestHead HttpRequestHead::parse(QByteArrayView buffer, qsizetype maxBytes)
{
    // The head ends at the first empty line. Leading empty lines before a request are allowed.
    qsizetype start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n'))
        ++start;
    qsizetype end = -1;
    for (qsizetype i = start; i < buffer.size(); ++i) {
        if (buffer[i] != '\n')
            continue;
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n') {
            end = i + 2;
            break;
        }
        if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n') {
            end = i + 3;
            break;
        }
    }
    if (end < 0)
        return buffer.size() > maxBytes ? invalid(431) : HttpRequestHead{};
    if (end > maxBytes)
        return invalid(431);

    QByteArrayView rest = buffer.sliced(start, end - start);
    const QByteArrayView requestLine = takeLine(rest);
    const qsizetype firstSpace = requestLine.indexOf(' ');
    const qsizetype lastSpace = requestLine.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace)
        return invalid(400);
    const QByteArrayView method = requestLine.first(firstSpace);
    const QByteArrayView target = requestLine.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = requestLine.sliced(lastSpace + 1);
    if (!isToken(method) || !isOriginTarget(target))
        return invalid(400);
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.')
        return invalid(400);
    if (version[5] != '1' || (version[7] != '0' && version[7] != '1'))
        return invalid(505);

    // Every header line must be well formed, even though no header changes the answer.
    while (!rest.isEmpty()) {
        const QByteArrayView field = takeLine(rest);
        if (field.isEmpty())
            break;
        const qsizetype colon = field.indexOf(':');
        // A line folded onto the previous one, or a space before the colon, is refused.
        if (colon <= 0 || !isToken(field.first(colon)) || !isFieldValue(field.sliced(colon + 1)))
            return invalid(400);
    }

    HttpRequestHead head;
    if (method == "GET")
        head.method = Method::Get;
    else if (method == "HEAD")
        head.method = Method::Head;
    else
        return invalid(405);
    head.outcome = Outcome::Complete;
    const qsizetype query = target.indexOf('?');
    head.path = (query < 0 ? target : target.first(query)).toByteArray();
    head.length = end;
    return head;
}
