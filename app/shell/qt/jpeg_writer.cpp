#include "app/shell/qt/jpeg_writer.h"

#include <jpeglib.h>

#include <QSaveFile>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace app {

namespace {

// libjpeg's default error handler ends the process; this one jumps back to the encoder instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr) {}

// Encodes rgb (tightly packed RGB888 rows) into a JPEG in memory; false on any libjpeg error. Kept free
// of C++ objects with destructors between setjmp and the jumps.
bool encode(const unsigned char* rgb, int width, int height, int quality, unsigned char** out,
            unsigned long* outSize) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.output_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb) + static_cast<size_t>(cinfo.next_scanline) * width * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool ImageToJpeg(const QImage& image, const QString& jpegFile, int quality) {
    if (image.isNull()) return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<unsigned char> packed(static_cast<size_t>(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        std::copy(line, line + rgb.width() * 3, packed.begin() + static_cast<ptrdiff_t>(y) * rgb.width() * 3);
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool encoded =
        encode(packed.data(), rgb.width(), rgb.height(), qBound(0, quality, 100), &jpeg, &size);
    const QByteArray bytes =
        encoded ? QByteArray(reinterpret_cast<const char*>(jpeg), static_cast<qsizetype>(size))
                : QByteArray();
    std::free(jpeg);
    if (!encoded) return false;

    QSaveFile file(jpegFile);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool BmpToJpeg(const QString& bitmapFile, const QString& jpegFile, int quality) {
    QImage image;
    if (!image.load(bitmapFile, "BMP")) return false;
    return ImageToJpeg(image, jpegFile, quality);
}

}  // namespace app
