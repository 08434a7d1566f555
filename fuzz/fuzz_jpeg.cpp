// libFuzzer target for the logo decoder: any bytes may come in, none may crash, hang or leak.
#include "platform/JpegImage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QImage image = JpegImage::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!image.isNull() && (image.width() <= 0 || image.height() <= 0))
        __builtin_trap();
    return 0;
}
