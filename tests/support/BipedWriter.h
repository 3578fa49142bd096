// Builds biped files in tests.
#pragma once

#include <vector>

#include "tools/formats/LittleEndianWriter.h"

// A biped of one bone drawn as one triangle over `corners` (nine
// coordinates): frame k moves the bone by k * dx along x.
inline ByteWriter OneBoneBiped(int frames,
                               const std::vector<float>& corners = {0, 0, 0, 1, 0, 0, 0, 1, 0},
                               float dx = 10) {
    ByteWriter w;
    w.Int32(1).Int32(frames).Int32(3);
    for (float c : corners) w.Float(c);
    w.Int32(1).Int32(0).Int32(1).Int32(2);
    for (int k = 0; k < frames; ++k) w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, dx * k, 0, 0});
    return w;
}
