// JPEG images of the report charts. The image is encoded in memory and written only when encoding
// succeeded, through a temporary file renamed over the target: a failure leaves no file behind (and an
// existing target as it was).
#pragma once

#include <QImage>
#include <QString>

namespace app {

// Reads the bitmap file and writes it as a JPEG of the given quality (0..100); false when the bitmap
// cannot be read or the JPEG cannot be written. Never throws, never ends the process.
bool BmpToJpeg(const QString& bitmapFile, const QString& jpegFile, int quality);
// The same for an image already in memory (a chart rendered offscreen).
bool ImageToJpeg(const QImage& image, const QString& jpegFile, int quality);

}  // namespace app
