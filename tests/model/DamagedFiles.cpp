#include "tests/model/DamagedFiles.h"

#include <cstdio>

#include "tests/support/BipedWriter.h"
#include "tests/support/ModelFileWriter.h"
#include "tests/support/TgaWriter.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureImage.h"

namespace {

void Add(std::vector<DamagedFile>& table, const std::string& name, const ByteWriter& w,
         const std::string& messagePart) {
    table.push_back({name, w.bytes, messagePart});
}

void Add(std::vector<DamagedFile>& table, const std::string& name,
         const std::vector<uint8_t>& bytes, const std::string& messagePart) {
    table.push_back({name, bytes, messagePart});
}

// ---- biped

void WriteFrame(ByteWriter& w, float scale, float tx) {
    w.Floats({scale, 0, 0, 0, scale, 0, 0, 0, scale, tx, 0, 0});
}

// ---- part

PartObjectSpec PartTriangle(const std::string& texture = "") {
    return {texture, {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}, {0, 0, 1}, {0, 1, 2}};
}

// One object: name, then the vertex count and whatever follows.
ByteWriter PartHead(const std::string& name) {
    ByteWriter w;
    w.Int32(1);
    WriteName(w, name);
    return w;
}

ByteWriter PartVertices(int32_t count) {
    ByteWriter w = PartHead("");
    w.Int32(count);
    for (int32_t i = 0; i < count; ++i) {
        WriteVertex(w, Vertex(static_cast<float>(i), 0, 0));
        w.Int16(0);
    }
    return w;
}

// ---- Tessel

TesselObjectSpec StaticTriangle(const std::string& texture = "") {
    return {texture, {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}, {0, 1, 2}};
}

ByteWriter TesselVertices(int32_t frameCount, bool animated, int32_t vertexCount, int32_t stored) {
    ByteWriter w;
    w.Int32(frameCount).Int32(animated ? 0 : 1).Int32(animated ? 1 : 0);
    WriteName(w, "");
    w.Int32(vertexCount);
    for (int32_t i = 0; i < stored; ++i) WriteVertex(w, Vertex(static_cast<float>(i), 0, 0));
    return w;
}

// ---- TGA

std::vector<uint8_t> Header(uint32_t width, uint32_t height, uint8_t type, uint8_t depth) {
    TgaLayout layout;
    layout.type = type;
    layout.depth = depth;
    return TgaHeader(width, height, layout);
}

std::vector<uint8_t> Append(std::vector<uint8_t> bytes, std::initializer_list<uint8_t> more) {
    bytes.insert(bytes.end(), more);
    return bytes;
}

}  // namespace

std::vector<DamagedFile> DamagedBipedFiles() {
    std::vector<DamagedFile> t;
    Add(t, "empty file", ByteWriter(), "too short for the header");
    Add(t, "negative bone count", ByteWriter().Int32(-1).Int32(1), "negative");
    Add(t, "zero frames", ByteWriter().Int32(1).Int32(0), "frame count is 0");
    Add(t, "negative frames", ByteWriter().Int32(1).Int32(-5), "frame count is -5");
    Add(t, "huge bone count", ByteWriter().Int32(0x7fffffff).Int32(1).Int32(0).Int32(0),
        "bones of 1 frames need");
    {
        ByteWriter w = ByteWriter().Int32(1).Int32(1).Int32(0x10000000);
        for (int i = 0; i < 14; ++i) w.Int32(0);
        Add(t, "huge position count", w, "position count 268435456");
    }
    {
        ByteWriter w = ByteWriter().Int32(1).Int32(1).Int32(1).Floats({0, 0, 0}).Int32(-2);
        for (int i = 0; i < 12; ++i) w.Float(0);
        Add(t, "negative triangle count", w, "triangle count -2");
    }
    {
        ByteWriter w = ByteWriter().Int32(1).Int32(1).Int32(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
        w.Int32(1).Int32(0).Int32(1).Int32(3);
        WriteFrame(w, 1, 0);
        Add(t, "corner beyond the table", w, "corner 2 names position 3");
    }
    {
        ByteWriter w = ByteWriter().Int32(1).Int32(1).Int32(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
        w.Int32(1).Int32(-1).Int32(1).Int32(2);
        WriteFrame(w, 1, 0);
        Add(t, "negative corner", w, "names position -1");
    }
    {
        ByteWriter w = OneBoneBiped(2);
        w.bytes.resize(w.bytes.size() - 4);
        Add(t, "truncated frames", w, "inside its 2 frame matrices");
    }
    {
        ByteWriter w = OneBoneBiped(2);
        w.Int32(0);
        Add(t, "trailing bytes", w, "4 unexpected bytes after the last bone");
    }
    {
        // Bones of 8 + 48 * 760380760 bytes: 505414114 of them come to 2^64 + 16
        // bytes, which wraps to exactly the 16 bytes after the header.
        ByteWriter w = ByteWriter().Int32(505414114).Int32(760380760);
        for (int i = 0; i < 4; ++i) w.Int32(0);
        Add(t, "bone sizes that wrap", w, "505414114 bones of 760380760 frames need");
    }
    return t;
}

std::vector<DamagedFile> DamagedPartFiles() {
    std::vector<DamagedFile> t;
    Add(t, "empty file", ByteWriter(), "too short for the object count");
    Add(t, "no objects", ByteWriter().Int32(0), "object count is 0");
    Add(t, "negative object count", ByteWriter().Int32(-3), "object count is -3");
    Add(t, "huge object count", ByteWriter().Int32(0x7fffffff).Int32(0).Int32(0).Int32(0),
        "2147483647 objects need at least 25769803764 bytes");
    Add(t, "negative name length", ByteWriter().Int32(1).Int32(-1).Int32(0).Int32(0),
        "object 0: texture name length -1 is outside 0..79");
    {
        ByteWriter w = PartHead(std::string(80, 'a'));
        w.Int32(0).Int32(0);
        Add(t, "name of 80 bytes", w, "texture name length 80 is outside 0..79");
    }
    Add(t, "name beyond the file", ByteWriter().Int32(1).Int32(50).Int32(0).Int32(0),
        "file ends inside its texture name");
    {
        ByteWriter w = PartHead(std::string("ab\0c.tga", 8));
        w.Int32(0).Int32(0);
        Add(t, "zero byte in the name", w, "texture name contains a zero byte");
    }
    Add(t, "negative vertex count", ByteWriter().Int32(1).Int32(0).Int32(-1).Int32(0),
        "vertex count -1 does not fit");
    {
        ByteWriter w = PartVertices(3);
        w.bytes[8] = 200;  // vertex count 200, three stored
        w.Int32(0);
        Add(t, "vertex count beyond the file", w, "vertex count 200 does not fit");
    }
    Add(t, "no face count", PartVertices(3), "object 0: file ends before its face count");
    Add(t, "negative face count", PartVertices(3).Int32(-1), "face count -1 does not fit");
    Add(t, "face count beyond the file", PartVertices(3).Int32(5).Int32(0).Int32(1).Int32(2),
        "face count 5 does not fit");
    Add(t, "face index equal to the vertex count",
        PartVertices(3).Int32(1).Int32(0).Int32(1).Int32(3),
        "face 0 names vertex 3 but the object has 3 vertices");
    Add(t, "negative face index", PartVertices(3).Int32(1).Int32(0).Int32(-1).Int32(2),
        "names vertex -1");
    Add(t, "index above 16 bits", PartVertices(3).Int32(1).Int32(0).Int32(65537).Int32(2),
        "names vertex 65537");
    {
        ByteWriter w = PartFile({PartTriangle(), PartTriangle()});
        w.bytes[0] = 3;  // three objects counted, two stored
        Add(t, "fewer objects than counted", w,
            "object 2: file ends before its texture name length");
    }
    {
        ByteWriter w = PartFile({PartTriangle("skin.tga")});
        w.Int16(0);
        Add(t, "trailing bytes", w, "2 unexpected bytes after the last object");
    }
    {
        ByteWriter w = PartFile({PartTriangle()});
        w.bytes.resize(w.bytes.size() - 3);
        Add(t, "truncated indices", w, "face count 1 does not fit");
    }
    {
        // Objects without vertices or faces take 12 bytes each in the file but
        // many times that in memory.
        ByteWriter w = ByteWriter().Int32(1000);
        for (int i = 0; i < 1000; ++i) w.Int32(0).Int32(0).Int32(0);
        Add(t, "many empty objects", w, "1000 objects hold too little for a file of 12004 bytes");
    }
    return t;
}

std::vector<DamagedFile> DamagedTesselFiles() {
    std::vector<DamagedFile> t;
    Add(t, "empty file", ByteWriter(), "too short for the header");
    Add(t, "header cut short", ByteWriter().Int32(1).Int32(1), "too short for the header");
    Add(t, "no objects", ByteWriter().Int32(5).Int32(0).Int32(0),
        "Object의 갯수가 1보다 작습니다.");
    Add(t, "negative static count", ByteWriter().Int32(1).Int32(-1).Int32(2),
        "a count is negative");
    Add(t, "negative animated count", ByteWriter().Int32(1).Int32(2).Int32(-7),
        "a count is negative");
    Add(t, "counts that overflow 32 bits", ByteWriter().Int32(1).Int32(0x7fffffff).Int32(1),
        "2147483648 objects need at least");
    {
        ByteWriter w = TesselFile(0, {}, {StaticTriangle()});
        Add(t, "zero frames", w, "frame count is 0");
    }
    {
        ByteWriter w = TesselFile(-4, {StaticTriangle()}, {});
        Add(t, "negative frames", w, "frame count is -4");
    }
    Add(t, "negative name length",
        ByteWriter().Int32(1).Int32(1).Int32(0).Int32(-5).Int32(0).Int32(0),
        "static object 0: texture name length -5 is outside 0..79");
    Add(t, "name of 80 bytes", TesselFile(1, {StaticTriangle(std::string(80, 'w'))}, {}),
        "texture name length 80 is outside 0..79");
    Add(t, "name beyond the file",
        ByteWriter().Int32(1).Int32(1).Int32(0).Int32(60).Int32(0).Int32(0),
        "file ends inside its texture name");
    Add(t, "zero byte in the name",
        TesselFile(1, {StaticTriangle(std::string("wall\0.tga", 9))}, {}),
        "texture name contains a zero byte");
    Add(t, "negative vertex count", TesselVertices(1, false, -2, 0).Int32(0),
        "static object 0: vertex count -2 does not fit");
    Add(t, "vertex count beyond the file", TesselVertices(1, false, 1000, 3).Int32(0),
        "vertex count 1000 does not fit");
    Add(t, "frames beyond the file",
        TesselVertices(1000, true, 3, 3).Int32(1).Int32(0).Int32(1).Int32(2),
        "animated object 0: vertex count 3 in 1000 frames does not fit");
    Add(t, "no face count", TesselVertices(1, false, 3, 3), "file ends before its face count");
    Add(t, "negative face count", TesselVertices(1, false, 3, 3).Int32(-1),
        "face count -1 does not fit");
    Add(t, "face count beyond the file", TesselVertices(1, false, 3, 3).Int32(9).Int32(0),
        "face count 9 does not fit");
    Add(t, "face index equal to the vertex count",
        TesselVertices(1, false, 3, 3).Int32(1).Int32(0).Int32(3).Int32(1),
        "face 0 names vertex 3 but the object has 3 vertices");
    Add(t, "negative face index",
        TesselVertices(2, true, 3, 6).Int32(1).Int32(-1).Int32(0).Int32(1),
        "animated object 0: face 0 names vertex -1");
    {
        ByteWriter w = TesselFile(1, {StaticTriangle(), StaticTriangle()}, {});
        w.bytes[4] = 3;  // an export cancelled after two of three objects
        Add(t, "fewer objects than counted", w,
            "static object 2: file ends before its texture name length");
    }
    {
        ByteWriter w = TesselFile(1, {StaticTriangle("wall.tga")}, {});
        w.Int32(0);
        Add(t, "trailing bytes", w, "4 unexpected bytes after the last object");
    }
    return t;
}

std::vector<DamagedFile> DamagedTgaFiles() {
    std::vector<DamagedFile> t;
    Add(t, "empty file", std::vector<uint8_t>{}, "too short for a TGA header");
    Add(t, "header cut short", std::vector<uint8_t>(17, 0), "too short for a TGA header");
    {
        std::vector<uint8_t> h = Header(1, 1, 1, 24);
        h[1] = 1;
        Add(t, "colour-mapped", Append(h, {0, 0, 0}), "colour-mapped TGA images are not supported");
    }
    Add(t, "greyscale type 3", Append(Header(1, 1, 3, 24), {0, 0, 0}), "TGA image type 3");
    Add(t, "run-length greyscale type 11", Append(Header(1, 1, 11, 24), {0, 0, 0, 0}),
        "TGA image type 11");
    Add(t, "16-bit pixels", Append(Header(1, 1, 2, 16), {0, 0}), "pixel depth 16 is not supported");
    Add(t, "8-bit pixels", Append(Header(1, 1, 2, 8), {0}), "pixel depth 8 is not supported");
    Add(t, "zero width", Header(0, 4, 2, 24), "TGA image has no pixels (0 x 4)");
    {
        TgaLayout layout;
        layout.idLength = 40;
        std::vector<uint8_t> h = TgaHeader(1, 1, layout);
        h.resize(30);
        Add(t, "image ID beyond the file", h, "ends inside the TGA image ID");
    }
    Add(t, "uncompressed pixels cut short",
        Append(Header(2, 2, 2, 24), {1, 2, 3, 4, 5, 6, 7, 8, 9}),
        "ends inside the pixel data (12 bytes needed, 9 left)");
    Add(t, "huge run-length image", Append(Header(65535, 65535, 10, 32), {0xFF, 1, 2, 3, 4}),
        "too short for the 65535 x 65535 run-length encoded pixels");
    Add(t, "repeat packet past the row",
        Append(Header(4, 2, 10, 24), {0x84, 1, 2, 3, 0x84, 1, 2, 3}),
        "packet of 5 pixels at column 0 runs past the end of row 0 (width 4)");
    Add(t, "literal packet past the row",
        Append(Header(4, 1, 10, 24), {0x81, 1, 2, 3, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
        "packet of 3 pixels at column 2 runs past the end of row 0");
    Add(t, "run-length data cut short",
        Append(Header(4, 4, 10, 24), {0x83, 1, 2, 3, 0x83, 1, 2, 3}),
        "ends inside the run-length data of row 2");
    Add(t, "repeat packet without its pixel",
        Append(Header(2, 2, 10, 24), {0x81, 1, 2, 3, 0x81, 1, 2}),
        "ends inside a run-length packet of row 1");
    Add(t, "literal packet cut short", Append(Header(4, 1, 10, 32), {0x03, 1, 2, 3, 4, 5, 6, 7, 8}),
        "ends inside a literal packet of row 0");
    return t;
}

std::vector<DamagedKind> AllDamagedKinds() {
    return {{"bpd", ".bpd", DamagedBipedFiles()},
            {"mrv", ".mrv", DamagedPartFiles()},
            {"tsl", ".tsl", DamagedTesselFiles()},
            {"tga", ".tga", DamagedTgaFiles()}};
}

std::string DamagedFileName(size_t index, const DamagedFile& file, const std::string& extension) {
    char number[16];
    std::snprintf(number, sizeof number, "%02zu-", index + 1);
    std::string slug;
    for (char c : file.name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (keep) {
            slug += c;
        } else if (c >= 'A' && c <= 'Z') {
            slug += static_cast<char>(c - 'A' + 'a');
        } else if (!slug.empty() && slug.back() != '-') {
            slug += '-';
        }
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return number + slug + extension;
}

bool ReaderAccepts(const std::string& kind, const std::vector<uint8_t>& bytes, std::string& error) {
    if (kind == "bpd") {
        Biped biped;
        return biped.LoadFromMemory(bytes.data(), bytes.size(), error);
    }
    if (kind == "mrv") {
        PartFileData part;
        return ParsePartFile(bytes.data(), bytes.size(), part, error);
    }
    if (kind == "tsl") {
        TesselFileData tessel;
        return ParseTesselFile(bytes.data(), bytes.size(), tessel, error);
    }
    if (kind == "tga") {
        TgaImage image;
        return DecodeTga(bytes.data(), bytes.size(), image, error);
    }
    error = "unknown kind " + kind;
    return false;
}
