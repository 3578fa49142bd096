// The generated scenes of the export benchmarks, written as binary glTF;
// false when the file could not be written.
#pragma once

#include <string>

// 16 grid objects of 125 x 250 quads (62,500 triangles each, 1,000,000 in
// all) with texture coordinates, each within the file's vertex limit.
bool WriteStaticMillionScene(const std::string& path);

// One moving object: a tube of 12,100 vertices skinned to a chain of 24
// bones that sway for 10 s, so that an export of every frame writes 301
// vertex blocks (about 116 MB).
bool WriteMovingObjectScene(const std::string& path);
