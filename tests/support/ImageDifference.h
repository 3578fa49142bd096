// Difference statistics of two pictures of the same size: the mean channel
// difference and the share of pixels off by more than a rounding difference
// in some channel. They allow for rounding differences between rasterisers
// and drawing paths, not for a changed scene (a moved figure, a lost texture,
// a black view).
#pragma once

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <ostream>

struct ImageDifference {
    double mean = 0.0;      // mean channel difference, 0-255
    double farShare = 0.0;  // share of pixels off by more than 48 in a channel

    bool Small() const { return mean < 2.0 && farShare < 0.01; }
};

inline std::ostream& operator<<(std::ostream& os, const ImageDifference& d) {
    return os << "mean channel difference " << d.mean << ", " << 100.0 * d.farShare
              << "% of pixels off by more than 48";
}

// Both pictures are compared as opaque RGB; a size mismatch counts as all different.
inline ImageDifference CompareImages(const QImage& first, const QImage& second) {
    ImageDifference result;
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size() || a.isNull()) {
        result.mean = 255.0;
        result.farShare = 1.0;
        return result;
    }
    double sum = 0.0;
    long farOff = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d[3] = {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))};
            sum += (d[0] + d[1] + d[2]) / 3.0;
            if (std::max({d[0], d[1], d[2]}) > 48) ++farOff;
        }
    }
    const double pixels = static_cast<double>(a.width()) * a.height();
    result.mean = sum / pixels;
    result.farShare = farOff / pixels;
    return result;
}
