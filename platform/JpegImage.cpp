#include "platform/JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace JpegImage {
namespace {

// libjpeg reports errors through a callback that must not return: it jumps back to decode().
struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

// Warnings mean damaged data (a truncated file is padded with grey by libjpeg): refuse it too.
void onMessage(j_common_ptr info, int level)
{
    if (level < 0)
        onError(info);
}

void silent(j_common_ptr)
{
}

// Everything the decoder touches between setjmp and longjmp lives here, outside the
// jumping function's locals, so that no object's state is lost by the jump.
struct Decoder
{
    jpeg_decompress_struct info{};
    ErrorManager error{};
    QImage image;
};

bool run(Decoder &d, const QByteArray &data)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK)
        return false;
    if (d.info.image_width == 0 || d.info.image_height == 0
        || qint64(d.info.image_width) * qint64(d.info.image_height) > MaxPixels)
        return false;
    d.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.info);
    if (d.info.output_components != 3)
        return false;
    d.image = QImage(int(d.info.output_width), int(d.info.output_height), QImage::Format_RGB888);
    if (d.image.isNull())
        return false;
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = d.image.scanLine(int(d.info.output_scanline));
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

} // namespace

QImage decode(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    Decoder d;
    d.info.err = jpeg_std_error(&d.error.base);
    d.error.base.error_exit = onError;
    d.error.base.emit_message = onMessage;
    d.error.base.output_message = silent;
    jpeg_create_decompress(&d.info);
    const bool ok = run(d, data);
    jpeg_destroy_decompress(&d.info);
    return ok ? d.image : QImage();
}

QImage load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return {};
    return decode(file.readAll());
}

} // namespace JpegImage
