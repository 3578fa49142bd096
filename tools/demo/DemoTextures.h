// The demo content's texture images, drawn procedurally (the same pixels on
// every run).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/demo/DemoImages.h"

Image SkinImage();
Image ClothImage();
Image HelmetImage();
std::vector<uint8_t> ArmourBitmap();
Image SwordImage();
Image LeatherImage();
Image GrassImage();
Image WallImage();
Image RoofImage();
Image WoodImage();
Image FlagImage();
