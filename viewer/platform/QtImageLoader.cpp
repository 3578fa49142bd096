#include "viewer/platform/QtImageLoader.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "viewer/platform/CheckedSize.h"

namespace {

// The bit depth stored in a BMP file's header: QImage hands out every
// true-colour bitmap as 32-bit pixels, but texture formats are chosen by
// the file's own depth. 0 when the header cannot be read.
uint32_t BmpFileDepth(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    unsigned char h[30] = {};
    const size_t got = std::fread(h, 1, sizeof h, file);
    std::fclose(file);
    if (got < 26 || h[0] != 'B' || h[1] != 'M') return 0;
    const uint32_t headerSize =
        h[14] | (h[15] << 8) | (h[16] << 16) | (static_cast<uint32_t>(h[17]) << 24);
    if (headerSize == 12) return h[24] | (h[25] << 8);  // OS/2 core header
    if (got < 30) return 0;
    return h[28] | (h[29] << 8);
}

// A bitmap decodes to at most this many pixels per byte of its file (a
// run-length packet of two bytes gives up to 255 pixels), and is never
// refused at or below 256 x 256 pixels.
constexpr uint64_t kPixelsPerFileByte = 256;
constexpr uint64_t kPixelsAlwaysAllowed = 256 * 256;

}  // namespace

bool QtImageLoader::LoadBitmap(const std::string& path, BitmapImage& image, std::string& error) {
    // Bitmaps only, whatever the name: another image format is refused as
    // the platform's bitmap loader would refuse it.
    QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)), "bmp");
    reader.setDecideFormatFromContent(false);
    // The image's size is checked against the file, from the header before
    // anything is decoded and again on the decoded image (for headers the
    // reader cannot size in advance): a few bytes must not make the loader
    // allocate and convert millions of pixels.
    const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(path)));
    // Only a regular file is read: a FIFO or a device would block or never end.
    if (!info.isFile()) {
        error = info.exists() ? "is not a regular file" : "does not exist";
        return false;
    }
    const uint64_t fileSize = static_cast<uint64_t>(info.size());
    if (fileSize > kMaxModelFileBytes) {
        error = "the file holds " + std::to_string(fileSize) + " bytes, more than the " +
                std::to_string(kMaxModelFileBytes) + " bytes an image file may have";
        return false;
    }
    auto tooLarge = [&](const QSize& size) {
        // A top-down bitmap has a negative height.
        const uint64_t width = static_cast<uint64_t>(std::abs(static_cast<int64_t>(size.width())));
        const uint64_t height =
            static_cast<uint64_t>(std::abs(static_cast<int64_t>(size.height())));
        uint64_t pixels = 0, allowed = 0;
        const bool sized = CheckedMul(width, height, pixels);
        if (!CheckedMul(fileSize, kPixelsPerFileByte, allowed)) allowed = UINT64_MAX;
        if (sized && (pixels <= kPixelsAlwaysAllowed || pixels <= allowed)) return false;
        error = "the bitmap header claims " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels, more than a file of " +
                std::to_string(fileSize) + " bytes can hold";
        return true;
    };
    if (tooLarge(reader.size())) return false;
    // The reader's own allocation is held to the same bound (4 bytes a pixel).
    uint64_t allowedPixels = 0;
    if (!CheckedMul(fileSize, kPixelsPerFileByte, allowedPixels)) allowedPixels = UINT64_MAX;
    allowedPixels = std::max(kPixelsAlwaysAllowed, allowedPixels);
    reader.setAllocationLimit(
        static_cast<int>(std::min<uint64_t>(allowedPixels / (256 * 1024) + 1, 1024)));
    QImage decoded = reader.read();
    if (decoded.isNull()) {
        error = "cannot be decoded as an image: " + reader.errorString().toStdString();
        return false;
    }
    if (tooLarge(decoded.size())) return false;
    const QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
    const uint32_t width = static_cast<uint32_t>(argb.width());
    const uint32_t height = static_cast<uint32_t>(argb.height());
    image.width = width;
    image.height = height;
    const uint32_t fileDepth = BmpFileDepth(path);
    image.bitsPerPixel = fileDepth != 0 ? fileDepth : static_cast<uint32_t>(decoded.depth());
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(static_cast<int>(y)));
        uint32_t* out = image.pixels.data() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const QRgb p = line[x];
            out[x] = (static_cast<uint32_t>(qRed(p)) << 24) |
                     (static_cast<uint32_t>(qGreen(p)) << 16) |
                     (static_cast<uint32_t>(qBlue(p)) << 8) | static_cast<uint32_t>(qAlpha(p));
        }
    }
    return true;
}
