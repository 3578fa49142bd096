#include "tools/ViewerTextures.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "exporter/host/GltfInterpolation.h"
#include "exporter/host/HostScene.h"
#include "tools/formats/SaveWholeFile.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Extension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : Lower(name.substr(dot));
}

std::string Stem(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool ReadBytes(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// `relative` below `base`, each part matched without regard to case when the
// exact name is missing (scenes made on Windows name files loosely).
fs::path FindFile(const fs::path& base, const fs::path& relative) {
    std::error_code ec;
    fs::path at = base;
    for (const fs::path& part : relative) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "/") continue;
        if (name == "..") {
            at /= "..";
            continue;
        }
        fs::path next = at / part;
        if (!fs::exists(next, ec)) {
            bool found = false;
            const std::string wanted = Lower(name);
            for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
                if (Lower(it->path().filename().string()) == wanted) {
                    next = it->path();
                    found = true;
                    break;
                }
            }
            if (!found) return {};
        }
        at = next;
    }
    return fs::is_regular_file(at, ec) ? at : fs::path();
}

// Printable ASCII without the double quote and the backslash; every other
// character (each UTF-8 sequence as a whole) becomes an underscore.
std::string AsciiName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80)
                ++i;
            out += '_';
        } else {
            out += c < 0x20 || c == 0x7F || c == '"' || c == '\\' ? '_' : static_cast<char>(c);
        }
    }
    return out;
}

// Cuts a name to the viewer's limit, keeping its extension and whole UTF-8 characters.
std::string FitName(const std::string& stem, const std::string& extension) {
    std::string s = stem;
    const size_t room =
        kMaxViewerTextureName > extension.size() ? kMaxViewerTextureName - extension.size() : 0;
    if (s.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        s.resize(cut);
    }
    return s + extension;
}

uint32_t Rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return (uint32_t(r) << 24) | (uint32_t(g) << 16) | (uint32_t(b) << 8) | a;
}

TgaPicture FromQImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    TgaPicture picture;
    picture.width = static_cast<uint32_t>(image.width());
    picture.height = static_cast<uint32_t>(image.height());
    picture.pixels.resize(size_t(picture.width) * picture.height);
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x];
            picture.pixels[size_t(y) * picture.width + size_t(x)] =
                Rgba(static_cast<uint8_t>(qRed(p)), static_cast<uint8_t>(qGreen(p)),
                     static_cast<uint8_t>(qBlue(p)), static_cast<uint8_t>(qAlpha(p)));
        }
    }
    return picture;
}

bool DecodeWithQt(const std::vector<uint8_t>& bytes, const std::string& hint, TgaPicture& picture,
                  std::string& error) {
    QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, hint.empty() ? QByteArray() : QByteArray::fromStdString(hint));
    reader.setDecideFormatFromContent(true);
    // The limit is the process's: the viewer's loader sets it for each of
    // its images; a scene's texture may be larger.
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1024);
    const QImage image = reader.read();
    QImageReader::setAllocationLimit(limit);
    if (image.isNull()) {
        error = reader.errorString().toStdString();
        return false;
    }
    if (image.width() > 65535 || image.height() > 65535) {
        error = "the image is larger than a TGA can hold (65535 pixels a side)";
        return false;
    }
    picture = FromQImage(image);
    return true;
}

}  // namespace

// ------------------------------------------------------------------- TGA
// The viewer's reader takes true-colour images of 24 or 32 bits stored left
// to right, with every pixel present and no run-length packet crossing the
// end of a row; anything else is converted.
bool ViewerReadsTga(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 18 || bytes[1] != 0 || (bytes[2] != 2 && bytes[2] != 10) ||
        (bytes[16] != 24 && bytes[16] != 32) || (bytes[17] & 0x10) != 0)
        return false;
    const size_t width = bytes[12] | (size_t(bytes[13]) << 8);
    const size_t height = bytes[14] | (size_t(bytes[15]) << 8);
    const size_t bytesPerPixel = bytes[16] / 8;
    if (width == 0 || height == 0) return false;
    size_t at = 18 + size_t(bytes[0]);
    if (bytes[2] == 2) return at + width * height * bytesPerPixel <= bytes.size();
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width;) {
            if (at >= bytes.size()) return false;
            const uint8_t head = bytes[at++];
            const size_t n = (head & 0x7Fu) + 1;
            if (x + n > width) return false;
            at += (head & 0x80) ? bytesPerPixel : n * bytesPerPixel;
            if (at > bytes.size()) return false;
            x += n;
        }
    }
    return true;
}

bool DecodeTga(const std::vector<uint8_t>& bytes, TgaPicture& picture, std::string& error) {
    if (bytes.size() < 18) {
        error = "the file is too short for a TGA header";
        return false;
    }
    const uint8_t idLength = bytes[0], mapType = bytes[1], type = bytes[2];
    const uint32_t width = bytes[12] | (uint32_t(bytes[13]) << 8);
    const uint32_t height = bytes[14] | (uint32_t(bytes[15]) << 8);
    const uint8_t depth = bytes[16], descriptor = bytes[17];
    const bool grey = type == 3 || type == 11;
    const bool rle = type == 10 || type == 11;
    if (mapType != 0 || !(type == 2 || type == 3 || type == 10 || type == 11)) {
        error = "TGA image type " + std::to_string(type) + (mapType ? " with a colour map" : "") +
                " is not supported";
        return false;
    }
    if (grey ? depth != 8 : !(depth == 15 || depth == 16 || depth == 24 || depth == 32)) {
        error = "TGA pixel depth " + std::to_string(depth) + " is not supported for image type " +
                std::to_string(type);
        return false;
    }
    if (width == 0 || height == 0) {
        error = "the TGA image is empty";
        return false;
    }
    const size_t bytesPerPixel = (depth + 7) / 8;
    size_t at = 18 + idLength;
    auto pixelAt = [&](size_t i) -> uint32_t {
        const uint8_t* p = bytes.data() + i;
        if (grey) return Rgba(p[0], p[0], p[0], 255);
        if (bytesPerPixel == 2) {
            const uint32_t v = p[0] | (uint32_t(p[1]) << 8);
            auto five = [](uint32_t c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
            return Rgba(five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31), 255);
        }
        return Rgba(p[2], p[1], p[0], bytesPerPixel == 4 ? p[3] : 255);
    };
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(size_t(width) * height, 0);
    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    auto store = [&](size_t n, uint32_t value) {
        const size_t fileRow = n / width, column = n % width;
        const size_t line = topDown ? fileRow : height - 1 - fileRow;
        const size_t x = rightToLeft ? width - 1 - column : column;
        picture.pixels[line * width + x] = value;
    };
    const size_t total = size_t(width) * height;
    size_t n = 0;
    while (n < total) {
        if (!rle) {
            if (at + bytesPerPixel > bytes.size()) break;
            store(n++, pixelAt(at));
            at += bytesPerPixel;
            continue;
        }
        if (at >= bytes.size()) break;
        const uint8_t head = bytes[at++];
        const size_t count = std::min<size_t>((head & 0x7F) + 1, total - n);
        if (head & 0x80) {
            if (at + bytesPerPixel > bytes.size()) break;
            const uint32_t value = pixelAt(at);
            at += bytesPerPixel;
            for (size_t k = 0; k < count; ++k) store(n++, value);
        } else {
            if (at + count * bytesPerPixel > bytes.size()) break;
            for (size_t k = 0; k < count; ++k, at += bytesPerPixel) store(n++, pixelAt(at));
        }
    }
    if (n < total) {
        error = "the TGA file ends inside its pixels";
        return false;
    }
    return true;
}

std::vector<uint8_t> EncodeTga(const TgaPicture& picture) {
    const bool opaque = std::all_of(picture.pixels.begin(), picture.pixels.end(),
                                    [](uint32_t p) { return (p & 0xFF) == 0xFF; });
    const uint8_t depth = opaque ? 24 : 32;
    std::vector<uint8_t> out(18, 0);
    out[2] = 2;
    out[12] = static_cast<uint8_t>(picture.width);
    out[13] = static_cast<uint8_t>(picture.width >> 8);
    out[14] = static_cast<uint8_t>(picture.height);
    out[15] = static_cast<uint8_t>(picture.height >> 8);
    out[16] = depth;
    out[17] = static_cast<uint8_t>(0x20 | (opaque ? 0 : 8));  // rows from the top
    out.reserve(18 + picture.pixels.size() * (depth / 8));
    for (uint32_t p : picture.pixels) {
        out.push_back(static_cast<uint8_t>(p >> 8));
        out.push_back(static_cast<uint8_t>(p >> 16));
        out.push_back(static_cast<uint8_t>(p >> 24));
        if (!opaque) out.push_back(static_cast<uint8_t>(p));
    }
    return out;
}

// ---------------------------------------------------------- ViewerTextures
ViewerTextures::ViewerTextures(const HostScene& scene) : scene(scene), scenePath(scene.Path()) {
    const fs::path p(scenePath);
    sceneDir = p.parent_path().empty() ? std::string(".") : p.parent_path().string();
    sceneStem = p.stem().string();
}

ViewerTextures::~ViewerTextures() = default;

std::string ViewerTextures::Resolve(const std::string& mapName) const {
    std::string p = mapName;
    // Names in URI form (the host decodes glTF's own; other formats may hold them too).
    if (p.find('%') != std::string::npos && FindBeside(p).empty()) p = DecodeUri(p);
    return FindBeside(p);
}

std::string ViewerTextures::FindBeside(const std::string& mapName) const {
    std::string p = mapName;
    std::replace(p.begin(), p.end(), '\\', '/');
    const std::string base = BaseName(p);
    if (base.empty()) return {};
    std::error_code ec;
    if (!p.empty() && p[0] == '/' && fs::is_regular_file(p, ec)) return p;
    const bool windowsAbsolute =
        p.size() > 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
    const fs::path dir(sceneDir);
    fs::path found;
    if (p[0] != '/' && !windowsAbsolute) found = FindFile(dir, p);
    for (const char* sub : {"", "textures", "textr", "images", "maps"}) {
        if (!found.empty()) break;
        found = FindFile(dir, fs::path(sub) / base);
    }
    return found.string();
}

const SceneImage* ViewerTextures::FindEmbedded(const std::string& mapName) const {
    std::string wanted = mapName;
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    for (const SceneImage& image : scene.Images())
        if (!image.hostName.empty() && image.hostName == wanted) return &image;
    const std::string base = Lower(BaseName(mapName));
    for (const SceneImage& image : scene.Images())
        if (!image.fileName.empty() && Lower(BaseName(image.fileName)) == base) return &image;
    return nullptr;
}

ViewerTextures::Readable ViewerTextures::Check(const std::string& mapName) const {
    if (mapName.empty()) return Readable::Missing;
    const std::string file = Resolve(mapName);
    if (file.empty()) return FindEmbedded(mapName) ? Readable::AfterConversion : Readable::Missing;
    const std::string ext = Extension(file);
    if (ext == ".bmp") return Readable::Yes;
    std::vector<uint8_t> bytes;
    if (ext == ".tga" && ReadBytes(file, bytes) && ViewerReadsTga(bytes)) return Readable::Yes;
    return Readable::AfterConversion;
}

std::string ViewerTextures::UniqueName(const std::string& name0) const {
    const std::string wanted = asciiNames ? AsciiName(name0) : name0;
    const std::string extension = Extension(wanted);
    const std::string stem = wanted.substr(0, wanted.size() - extension.size());
    auto taken = [&](const std::string& name) {
        const std::string key = Lower(name);
        return std::any_of(outputs.begin(), outputs.end(),
                           [&](const Output& o) { return Lower(o.name) == key; });
    };
    std::string name = FitName(stem, extension);
    for (int n = 2; taken(name); ++n) {
        const std::string suffix = "_" + std::to_string(n);
        name = FitName(stem.substr(0, std::min(stem.size(), kMaxViewerTextureName -
                                                                extension.size() - suffix.size())) +
                           suffix,
                       extension);
    }
    return name;
}

std::string ViewerTextures::Add(const std::string& sourceKey, const std::string& wantedName,
                                bool converted, std::vector<uint8_t> bytes) {
    Output o;
    o.source = sourceKey;
    o.name = UniqueName(wantedName);
    o.converted = converted;
    o.bytes = std::move(bytes);
    outputs.push_back(std::move(o));
    nameBySource[sourceKey] = outputs.back().name;
    return outputs.back().name;
}

std::string ViewerTextures::Use(const std::string& mapName, std::vector<std::string>& notes) {
    if (mapName.empty()) return {};
    const std::string file = Resolve(mapName);
    std::error_code ec;
    const std::string key =
        file.empty() ? scenePath + ": " + mapName : fs::weakly_canonical(file, ec).string();
    auto known = nameBySource.find(key);
    if (known != nameBySource.end()) return known->second;
    auto unusable = [&](const std::string& why) {
        notes.push_back("texture '" + mapName + "': " + why + "; its objects have no texture");
        nameBySource[key] = std::string();
        return std::string();
    };

    std::string error;
    TgaPicture picture;
    if (!file.empty()) {
        std::vector<uint8_t> bytes;
        if (!ReadBytes(file, bytes)) return unusable("'" + file + "' cannot be read");
        // The viewer finds textures by bare name in one folder for every
        // character: the character's name in front keeps images of
        // different characters that share a file name apart.
        const std::string own = BaseName(file);
        const bool named = Lower(own).compare(0, sceneStem.size(), Lower(sceneStem)) == 0;
        const std::string base = named ? own : sceneStem + "_" + own;
        const std::string ext = Extension(base);
        if (ext == ".tga") {
            if (!DecodeTga(bytes, picture, error)) return unusable("'" + file + "': " + error);
            if (ViewerReadsTga(bytes)) return Add(key, base, false, std::move(bytes));
            return Add(key, base, true, EncodeTga(picture));
        }
        if (ext == ".bmp") {
            if (!DecodeWithQt(bytes, "bmp", picture, error))
                return unusable("'" + file + "': " + error);
            return Add(key, base, false, std::move(bytes));
        }
        if (!DecodeWithQt(bytes, "", picture, error))
            return unusable("'" + file + "' is not an image Qt can read (" + error + ")");
        return Add(key, Stem(base) + ".tga", true, EncodeTga(picture));
    }

    const SceneImage* image = FindEmbedded(mapName);
    if (image == nullptr)
        return unusable("no such file beside the scene, and the scene holds no image of that name");
    const std::string base = BaseName(image->hostName);
    const std::string name = sceneStem + "_" + Stem(base) + ".tga";
    if (!image->texels.empty()) {
        picture.width = image->width;
        picture.height = image->height;
        picture.pixels = image->texels;
        if (picture.width > 65535 || picture.height > 65535)
            return unusable("the stored image is too large for a TGA");
        return Add(key, name, true, EncodeTga(picture));
    }
    if (ViewerReadsTga(image->data) && DecodeTga(image->data, picture, error))
        return Add(key, name, false, image->data);
    if (DecodeTga(image->data, picture, error) ||
        DecodeWithQt(image->data, image->hint, picture, error))
        return Add(key, name, true, EncodeTga(picture));
    return unusable("the image stored in the scene cannot be decoded (" + error + ")");
}

bool ViewerTextures::Write(const std::string& directory, std::string& error) const {
    if (outputs.empty()) return true;
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (!fs::is_directory(directory, ec)) {
        error = "cannot create the texture folder '" + directory + "'";
        return false;
    }
    for (const Output& o : outputs)
        if (!SaveWholeFile((fs::path(directory) / o.name).string(), o.bytes, error)) return false;
    return true;
}
