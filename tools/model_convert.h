// model-convert's conversion: the viewer's models as one glTF 2.0 scene.
//
// A Tessel model's static objects become meshes; its animated objects become
// meshes with one morph target per stored frame, played by a stepped weights
// animation at 30 frames a second. A biped becomes a skin of one joint per
// bone with translation, rotation and scale keys at every frame; each
// character part becomes a mesh skinned to it, every vertex following its
// one bone with weight 1, bound at the biped's frame 0. Textures are decoded
// as the viewer decodes them and stored as PNG.
//
// Frames: the viewer's space is left-handed with y up and clockwise front
// faces; glTF's is right-handed with y up and counter-clockwise front faces.
// Points, normals and bone matrices are mirrored in z, and every triangle's
// last two corners are exchanged.
#pragma once

#include <tiny_gltf.h>

#include <array>
#include <string>
#include <vector>

// The character-part slots as the viewer numbers them.
constexpr int kPartSlots = 5;
extern const char* const kPartSlotNames[kPartSlots];  // body, helmet, armour, weapon, shoes

struct ConvertSources {
    std::string bipedPath;                      // empty: no character
    std::array<std::string, kPartSlots> parts;  // by slot; empty: none
    std::string tesselPath;                     // empty: no Tessel model
    double scale = 1.0;                         // file units to glTF units
    // Where textures are looked up after the "textr" folder beside the model
    // file (the viewer's texture directory: "textr/" beside the program).
    std::string programTextureDir;
};

struct ConvertResult {
    tinygltf::Model model;
    // Things the user should know that do not stop the conversion (a texture
    // that cannot be read, bone matrices with shear, objects without faces),
    // each naming its file.
    std::vector<std::string> notes;
};

// Reads every named file with the viewer's readers (with their checks) and
// builds the glTF scene. False with "<file>: <problem>" in `error` when a
// file cannot be read or is damaged, or a part does not fit the biped.
bool ConvertModels(const ConvertSources& sources, ConvertResult& result, std::string& error);
