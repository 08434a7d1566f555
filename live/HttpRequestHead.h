#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The head of one HTTP/1.x request as the live server takes it: the request line and the
// header lines up to the blank line, nothing after. Strict on purpose: the server answers
// GET and HEAD for three fixed paths, so anything unusual is refused rather than guessed at.
struct HttpRequestHead
{
    enum class Outcome {
        Incomplete, // the blank line has not arrived yet and the head is still within its limit
        Complete,
        Invalid,    // answer with status and close
    };
    enum class Method { Get, Head };

    Outcome outcome = Outcome::Incomplete;
    int status = 0;           // for Invalid: 400, 405, 431 or 505
    Method method = Method::Get;
    QByteArray path;          // the target up to any query, e.g. "/standings.json"
    qsizetype length = 0;     // bytes of the head, blank line included

    // Reads the head at the start of buffer. A head (or a buffer without its end) longer than
    // maxBytes is refused with 431, so that a client cannot make the server hold more.
    static HttpRequestHead parse(QByteArrayView buffer, qsizetype maxBytes);
};
