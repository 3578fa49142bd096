// The platform image loader over Qt's QImage (built into a library of its
// own, viewer_image_qt, so that the model layer stays free of Qt). It
// decodes Windows bitmaps (BMP) only.
#pragma once

#include "viewer/platform/ImageLoader.h"

class QtImageLoader : public ImageLoader {
public:
    bool LoadBitmap(const std::string& path, BitmapImage& image, std::string& error) override;
};
