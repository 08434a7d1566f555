// The live server's request parsing: any bytes a client sends, at any limit. A complete head
// must lie within the input and the limit, and name a path in origin form.
#include "live/HttpRequestHead.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const qsizetype limit : {qsizetype(64), qsizetype(8 * 1024)}) {
        const HttpRequestHead head = HttpRequestHead::parse(bytes, limit);
        switch (head.outcome) {
        case HttpRequestHead::Outcome::Complete:
            if (head.length <= 0 || head.length > bytes.size() || head.length > limit || !head.path.startsWith('/'))
                std::abort();
            break;
        case HttpRequestHead::Outcome::Invalid:
            if (head.status < 400 || head.status > 505)
                std::abort();
            break;
        case HttpRequestHead::Outcome::Incomplete:
            if (bytes.size() > limit)
                std::abort();
            break;
        }
    }
    return 0;
}
