#include "exporter/host/GltfInterpolation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

namespace {

// A JSON value; only what the channel modes need.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;                            // array elements
    std::vector<std::pair<std::string, Json>> members;  // object members
    const Json* Get(const std::string& key) const {
        for (const auto& [k, v] : members)
            if (k == key) return &v;
        return nullptr;
    }
    int Int(int fallback = -1) const {
        return kind == Number ? static_cast<int>(number) : fallback;
    }
};

// Code points of \u escapes as UTF-8; surrogate halves stay as they are.
void AppendUtf8(std::string& out, unsigned c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

class Parser {
public:
    Parser(const char* p, const char* end) : p(p), end(end) {}
    bool Parse(Json& out) {
        if (!Value(out, 0)) return false;
        Space();
        return p == end;
    }

private:
    void Space() {
        while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
    }
    bool Literal(const char* word) {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(end - p) < n || std::memcmp(p, word, n) != 0) return false;
        p += n;
        return true;
    }
    bool Str(std::string& out) {
        if (p >= end || *p != '"') return false;
        ++p;
        while (p < end && *p != '"') {
            if (*p == '\\') {
                if (++p >= end) return false;
                switch (*p) {
                    case 'n':
                        out += '\n';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case 'b':
                        out += '\b';
                        break;
                    case 'f':
                        out += '\f';
                        break;
                    case 'u': {
                        if (end - p < 5) return false;
                        const unsigned code = static_cast<unsigned>(
                            std::strtoul(std::string(p + 1, 4).c_str(), nullptr, 16));
                        p += 4;
                        AppendUtf8(out, code);
                        break;
                    }
                    default:
                        out += *p;
                        break;
                }
                ++p;
            } else {
                out += *p++;
            }
        }
        if (p >= end) return false;
        ++p;
        return true;
    }
    bool Value(Json& v, int depth) {
        if (depth > 200) return false;
        Space();
        if (p >= end) return false;
        if (*p == '{') {
            v.kind = Json::Object;
            ++p;
            Space();
            if (p < end && *p == '}') {
                ++p;
                return true;
            }
            for (;;) {
                Space();
                std::string key;
                if (!Str(key)) return false;
                Space();
                if (p >= end || *p != ':') return false;
                ++p;
                Json child;
                if (!Value(child, depth + 1)) return false;
                v.members.emplace_back(std::move(key), std::move(child));
                Space();
                if (p < end && *p == ',') {
                    ++p;
                    continue;
                }
                if (p < end && *p == '}') {
                    ++p;
                    return true;
                }
                return false;
            }
        }
        if (*p == '[') {
            v.kind = Json::Array;
            ++p;
            Space();
            if (p < end && *p == ']') {
                ++p;
                return true;
            }
            for (;;) {
                Json child;
                if (!Value(child, depth + 1)) return false;
                v.items.push_back(std::move(child));
                Space();
                if (p < end && *p == ',') {
                    ++p;
                    continue;
                }
                if (p < end && *p == ']') {
                    ++p;
                    return true;
                }
                return false;
            }
        }
        if (*p == '"') {
            v.kind = Json::String;
            return Str(v.text);
        }
        if (Literal("true")) {
            v.kind = Json::Bool;
            v.number = 1;
            return true;
        }
        if (Literal("false")) {
            v.kind = Json::Bool;
            return true;
        }
        if (Literal("null")) return true;
        // Number.
        const char* start = p;
        while (p < end && (std::strchr("+-0123456789.eE", *p) != nullptr)) ++p;
        if (p == start) return false;
        v.kind = Json::Number;
        v.number = std::strtod(std::string(start, p).c_str(), nullptr);
        return true;
    }
    const char* p;
    const char* end;
};

uint32_t U32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) |
           (uint32_t(uint8_t(b[at + 2])) << 16) | (uint32_t(uint8_t(b[at + 3])) << 24);
}

bool Base64(const std::string& in, size_t from, std::string& out) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+' || c == '-') return 62;
        if (c == '/' || c == '_') return 63;
        return -1;
    };
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = from; i < in.size(); ++i) {
        if (in[i] == '=') break;
        const int v = value(in[i]);
        if (v < 0) return false;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return true;
}

// Bytes [offset, offset + length) of a file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, uint64_t offset, uint64_t length, std::string& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f || !f.seekg(static_cast<std::streamoff>(offset))) return false;
    out.resize(static_cast<size_t>(length));
    f.read(&out[0], static_cast<std::streamsize>(length));
    return static_cast<uint64_t>(f.gcount()) == length;
}

// Where a binary file keeps its buffer chunk: read only when used.
struct BinChunk {
    std::string path;
    uint64_t offset = 0, length = 0;
    bool present = false;
};

// The file's buffers, decoded when first used.
class Buffers {
public:
    Buffers(const Json* list, BinChunk bin, std::string folder)
        : list(list), bin(std::move(bin)), folder(std::move(folder)) {}

    const std::string* Get(int index) {
        if (!list || list->kind != Json::Array || index < 0 ||
            index >= static_cast<int>(list->items.size()))
            return nullptr;
        auto found = loaded.find(index);
        if (found != loaded.end()) return found->second.first ? &found->second.second : nullptr;
        std::pair<bool, std::string>& slot = loaded[index];
        const Json* uri = list->items[static_cast<size_t>(index)].Get("uri");
        if (uri == nullptr) {
            slot.first = index == 0 && bin.present &&
                         ReadFileBytes(bin.path, bin.offset, bin.length, slot.second);
        } else if (uri->text.compare(0, 5, "data:") == 0) {
            const size_t comma = uri->text.find(',');
            slot.first = comma != std::string::npos &&
                         uri->text.rfind(";base64", comma) != std::string::npos &&
                         Base64(uri->text, comma + 1, slot.second);
        } else {
            std::ifstream f(std::filesystem::path(folder) / DecodeUri(uri->text), std::ios::binary);
            slot.second.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
            slot.first = static_cast<bool>(f) || f.eof();
        }
        return slot.first ? &slot.second : nullptr;
    }

private:
    const Json* list;
    BinChunk bin;
    std::string folder;
    std::map<int, std::pair<bool, std::string>> loaded;
};

int ComponentsOf(const std::string& type) {
    if (type == "SCALAR") return 1;
    if (type == "VEC2") return 2;
    if (type == "VEC3") return 3;
    if (type == "VEC4") return 4;
    return 0;
}

// An accessor's elements as floats (normalised integers scaled to their
// range). False for anything it cannot read, sparse accessors included.
bool ReadAccessor(const Json& root, Buffers& buffers, int index, std::vector<float>& out,
                  int& components) {
    const Json* accessors = root.Get("accessors");
    const Json* views = root.Get("bufferViews");
    if (!accessors || !views || index < 0 || index >= static_cast<int>(accessors->items.size()))
        return false;
    const Json& a = accessors->items[static_cast<size_t>(index)];
    if (a.Get("sparse") || !a.Get("bufferView") || !a.Get("count") || !a.Get("type") ||
        !a.Get("componentType"))
        return false;
    components = ComponentsOf(a.Get("type")->text);
    const int type = a.Get("componentType")->Int();
    const double count = a.Get("count")->number;
    const int view = a.Get("bufferView")->Int();
    size_t size = 0;
    switch (type) {
        case 5126:
            size = 4;
            break;
        case 5120:
        case 5121:
            size = 1;
            break;
        case 5122:
        case 5123:
            size = 2;
            break;
        default:
            return false;
    }
    if (components == 0 || !(count >= 0) || count > 1e8 || view < 0 ||
        view >= static_cast<int>(views->items.size()))
        return false;
    const Json& v = views->items[static_cast<size_t>(view)];
    const std::string* buffer = buffers.Get(v.Get("buffer") ? v.Get("buffer")->Int() : -1);
    if (buffer == nullptr) return false;
    const double viewOffset = v.Get("byteOffset") ? v.Get("byteOffset")->number : 0;
    const double viewLength = v.Get("byteLength") ? v.Get("byteLength")->number : 0;
    const double offset = a.Get("byteOffset") ? a.Get("byteOffset")->number : 0;
    const size_t element = size * static_cast<size_t>(components);
    const double stride = v.Get("byteStride") ? v.Get("byteStride")->number : double(element);
    const size_t n = static_cast<size_t>(count);
    if (!(viewOffset >= 0) || !(offset >= 0) || !(stride >= double(element)) ||
        viewOffset + viewLength > double(buffer->size()) ||
        (n > 0 && offset + stride * double(n - 1) + double(element) > viewLength))
        return false;
    const char* base = buffer->data() + static_cast<size_t>(viewOffset + offset);
    out.resize(n * static_cast<size_t>(components));
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < components; ++c) {
            const char* at = base + static_cast<size_t>(stride) * i + size * static_cast<size_t>(c);
            float f = 0;
            switch (type) {
                case 5126:
                    std::memcpy(&f, at, 4);
                    break;
                case 5120:
                    f = std::max(-1.0f, static_cast<int8_t>(*at) / 127.0f);
                    break;
                case 5121:
                    f = static_cast<uint8_t>(*at) / 255.0f;
                    break;
                case 5122: {
                    int16_t s;
                    std::memcpy(&s, at, 2);
                    f = std::max(-1.0f, s / 32767.0f);
                    break;
                }
                case 5123: {
                    uint16_t s;
                    std::memcpy(&s, at, 2);
                    f = s / 65535.0f;
                    break;
                }
            }
            out[i * static_cast<size_t>(components) + static_cast<size_t>(c)] = f;
        }
    return true;
}

}  // namespace

std::string DecodeUri(const std::string& uri) {
    if (uri.compare(0, 5, "data:") == 0 || uri.find('%') == std::string::npos) return uri;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
            const char c = static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
            if (c != '\0') {
                out += c;
                i += 2;
                continue;
            }
        }
        out += uri[i];
    }
    return out;
}

GltfFileAnimation ReadGltfAnimation(const std::string& path) {
    GltfFileAnimation out;
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f) return out;
    const auto fileSize = static_cast<uint64_t>(std::max<std::streamoff>(f.tellg(), 0));
    f.close();
    // A binary file: the text chunk is read now, the buffer chunk only when
    // an animation uses it.
    std::string text, header;
    BinChunk bin;
    if (fileSize >= 20 && ReadFileBytes(path, 0, 20, header) && header.compare(0, 4, "glTF") == 0) {
        const uint32_t chunkLength = U32(header, 12);
        if (U32(header, 16) != 0x4E4F534Au || chunkLength > fileSize - 20 ||
            !ReadFileBytes(path, 20, chunkLength, text))
            return out;
        const uint64_t next = 20 + uint64_t(chunkLength);
        std::string binHeader;
        if (next + 8 <= fileSize && ReadFileBytes(path, next, 8, binHeader) &&
            U32(binHeader, 4) == 0x004E4942u) {
            const uint32_t binLength = U32(binHeader, 0);
            if (binLength <= fileSize - next - 8) bin = {path, next + 8, binLength, true};
        }
    } else if (!ReadFileBytes(path, 0, fileSize, text)) {
        return out;
    }
    Json root;
    if (!Parser(text.data(), text.data() + text.size()).Parse(root) || root.kind != Json::Object)
        return out;

    // Depth-first order of the node tree from the scene's roots, as the
    // importer builds it.
    const Json* nodes = root.Get("nodes");
    const Json* scenes = root.Get("scenes");
    const int sceneIndex = root.Get("scene") ? root.Get("scene")->Int(0) : 0;
    std::map<int, int> order;  // file node index -> depth-first position
    if (nodes && nodes->kind == Json::Array && scenes && scenes->kind == Json::Array &&
        sceneIndex >= 0 && sceneIndex < static_cast<int>(scenes->items.size())) {
        const Json* rootsJson = scenes->items[static_cast<size_t>(sceneIndex)].Get("nodes");
        std::vector<int> stack;
        if (rootsJson && rootsJson->kind == Json::Array)
            for (auto it = rootsJson->items.rbegin(); it != rootsJson->items.rend(); ++it)
                stack.push_back(it->Int());
        while (!stack.empty()) {
            const int n = stack.back();
            stack.pop_back();
            if (n < 0 || n >= static_cast<int>(nodes->items.size()) || order.count(n)) continue;
            const int position = static_cast<int>(order.size());
            order[n] = position;
            const Json* children = nodes->items[static_cast<size_t>(n)].Get("children");
            if (children && children->kind == Json::Array)
                for (auto it = children->items.rbegin(); it != children->items.rend(); ++it)
                    stack.push_back(it->Int());
        }
    }
    out.nodeCount = static_cast<int>(order.size());

    // Skins: the joints of each skinned node.
    out.skinJoints.resize(order.size());
    const Json* skins = root.Get("skins");
    for (const auto& [index, position] : order) {
        const Json* skin = nodes->items[static_cast<size_t>(index)].Get("skin");
        if (!skin || !skins || skin->Int() < 0 ||
            skin->Int() >= static_cast<int>(skins->items.size()))
            continue;
        const Json* joints = skins->items[static_cast<size_t>(skin->Int())].Get("joints");
        if (!joints || joints->kind != Json::Array) continue;
        for (const Json& j : joints->items) {
            auto found = order.find(j.Int());
            out.skinJoints[static_cast<size_t>(position)].push_back(
                found == order.end() ? -1 : found->second);
        }
    }

    const std::string folder = std::filesystem::path(path).parent_path().string();
    Buffers buffers(root.Get("buffers"), std::move(bin),
                    folder.empty() ? std::string(".") : folder);
    const Json* animations = root.Get("animations");
    if (animations && animations->kind == Json::Array) {
        for (size_t a = 0; a < animations->items.size(); ++a) {
            const Json& anim = animations->items[a];
            GltfAnimation result;
            if (const Json* name = anim.Get("name")) result.name = name->text;
            const Json* channels = anim.Get("channels");
            const Json* samplers = anim.Get("samplers");
            if (!channels || !samplers || channels->kind != Json::Array ||
                samplers->kind != Json::Array) {
                out.animations.push_back(std::move(result));
                continue;
            }
            for (const Json& ch : channels->items) {
                const int s = ch.Get("sampler") ? ch.Get("sampler")->Int() : -1;
                const Json* target = ch.Get("target");
                if (s < 0 || s >= static_cast<int>(samplers->items.size()) || !target) {
                    result.complete = false;
                    continue;
                }
                const Json& sampler = samplers->items[static_cast<size_t>(s)];
                GltfChannel c;
                const Json* interp = sampler.Get("interpolation");
                c.interpolation = interp ? interp->text : "LINEAR";
                const Json* pathJson = target->Get("path");
                auto pos = order.find(target->Get("node") ? target->Get("node")->Int() : -1);
                if (pos == order.end() || !pathJson)
                    continue;  // a channel for no node of the scene drives nothing
                c.node = pos->second;
                c.path = pathJson->text;
                int timeComponents = 0;
                const bool ok = sampler.Get("input") && sampler.Get("output") &&
                                ReadAccessor(root, buffers, sampler.Get("input")->Int(), c.times,
                                             timeComponents) &&
                                ReadAccessor(root, buffers, sampler.Get("output")->Int(), c.values,
                                             c.components) &&
                                timeComponents == 1;
                const size_t perKey = c.interpolation == "CUBICSPLINE" ? 3 : 1;
                if (!ok || c.times.empty()) {
                    result.complete = false;
                    continue;
                }
                if (c.path == "weights") {
                    // One scalar per morph target and key.
                    const size_t keys = c.times.size() * perKey;
                    if (c.values.size() % keys != 0) {
                        result.complete = false;
                        continue;
                    }
                    c.components = static_cast<int>(c.values.size() / keys);
                }
                if (c.values.size() !=
                    c.times.size() * perKey * static_cast<size_t>(c.components)) {
                    result.complete = false;
                    continue;
                }
                result.channels.push_back(std::move(c));
            }
            out.animations.push_back(std::move(result));
        }
    }
    out.read = true;
    return out;
}
