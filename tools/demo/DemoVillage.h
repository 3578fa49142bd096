// The demo village Tessel model: houses, a windmill with turning sails and a
// waving flag; positions in world units, the character stands at the origin
// facing the camera.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kVillageFrames = 36;

std::vector<uint8_t> VillageFile();
