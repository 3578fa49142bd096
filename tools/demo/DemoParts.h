// The demo character's five parts. Shapes are built in the rest pose; each
// vertex is written in the space of its bone (relative to the bone's joint).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/demo/DemoMesh.h"

struct PartObjectDef {
    std::string texture;
    Mesh mesh;
};

// The part file of `objects`.
std::vector<uint8_t> PartFile(const std::vector<PartObjectDef>& objects);

std::vector<PartObjectDef> Body();
std::vector<PartObjectDef> Helmet();
std::vector<PartObjectDef> Armour();
std::vector<PartObjectDef> Weapon();
std::vector<PartObjectDef> Shoes();
