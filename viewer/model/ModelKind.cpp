#include "viewer/model/ModelKind.h"

#include <cstring>

#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"

namespace {

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool ReadsAs(ModelKind kind, const uint8_t* data, size_t size) {
    std::string error;
    switch (kind) {
        case ModelKind::Biped: {
            Biped biped;
            return biped.LoadFromMemory(data, size, error);
        }
        case ModelKind::Part: {
            PartFileData part;
            return ParsePartFile(data, size, part, error);
        }
        case ModelKind::Tessel: {
            TesselFileData tessel;
            return ParseTesselFile(data, size, tessel, error);
        }
        case ModelKind::Unknown:
            break;
    }
    return false;
}

bool StartsWith(const uint8_t* data, size_t size, const char* text) {
    const size_t n = std::strlen(text);
    return size >= n && std::memcmp(data, text, n) == 0;
}

// Scene files of the formats the exporters read, by their first bytes.
const char* SceneFormat(const uint8_t* data, size_t size) {
    size_t skip = 0;  // leading white space of text formats
    while (skip < size && skip < 64 && std::strchr(" \t\r\n", data[skip]) != nullptr) ++skip;
    const uint8_t* text = data + skip;
    const size_t left = size - skip;
    if (StartsWith(data, size, "glTF")) return "a binary glTF scene";
    if (StartsWith(data, size, "Kaydara FBX Binary")) return "an FBX scene";
    if (StartsWith(text, left, "; FBX")) return "an FBX scene";
    if (StartsWith(text, left, "*3DSMAX_ASCIIEXPORT")) return "an ASE scene";
    if (StartsWith(data, size, "xof ")) return "a DirectX scene";
    if (StartsWith(text, left, "{")) return "a JSON text (a glTF scene?)";
    if (StartsWith(text, left, "<?xml") || StartsWith(text, left, "<COLLADA"))
        return "an XML text (a COLLADA scene?)";
    return nullptr;
}

}  // namespace

ModelKind ModelKindOfName(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == ".bpd") return ModelKind::Biped;
    if (ext == ".mrv") return ModelKind::Part;
    if (ext == ".tsl") return ModelKind::Tessel;
    return ModelKind::Unknown;
}

const char* ModelKindText(ModelKind kind) {
    switch (kind) {
        case ModelKind::Biped:
            return "skeleton animation (.bpd)";
        case ModelKind::Part:
            return "character part (.mrv)";
        case ModelKind::Tessel:
            return "Tessel model (.tsl)";
        case ModelKind::Unknown:
            break;
    }
    return "model file";
}

ModelKind ModelKindOfContent(const uint8_t* data, size_t size) {
    ModelKind found = ModelKind::Unknown;
    for (ModelKind kind : {ModelKind::Biped, ModelKind::Part, ModelKind::Tessel}) {
        if (!ReadsAs(kind, data, size)) continue;
        if (found != ModelKind::Unknown) return ModelKind::Unknown;
        found = kind;
    }
    return found;
}

std::string WrongKindNote(const uint8_t* data, size_t size, const std::string& path,
                          ModelKind expected) {
    const std::string notExpected = std::string(", not a ") + ModelKindText(expected);
    for (ModelKind kind : {ModelKind::Biped, ModelKind::Part, ModelKind::Tessel})
        if (kind != expected && ReadsAs(kind, data, size))
            return path + ": this is a " + ModelKindText(kind) + notExpected;
    if (const char* scene = SceneFormat(data, size))
        return path + ": this is " + scene + notExpected +
               " (tessel-export or character-export turns scenes into viewer files)";
    const ModelKind named = ModelKindOfName(path);
    if (named != ModelKind::Unknown && named != expected)
        return path + ": named as a " + ModelKindText(named) + notExpected;
    return std::string();
}
