#pragma once

#include <QByteArray>
#include <QStringView>

// Texts from the interface put into the program's HTML pages: the live page (UTF-8) and the
// results page (Latin-1, as the pages always were). Markup characters become entities, so a
// name never turns into markup; the attributes the pages write are all in double quotes, so
// the apostrophe stays as it is.
namespace HtmlText {
enum class Encoding {
    Utf8,
    Latin1, // what Latin-1 cannot hold goes out as a numeric character reference
};

void append(QByteArray &out, QStringView text, Encoding encoding);
QByteArray escaped(QStringView text, Encoding encoding);
} // namespace HtmlText
