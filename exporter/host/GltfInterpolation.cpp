#include "GltfInterpolation.h"

#include <cstdint>
#include <cstring>
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
    std::vector<Json> items;                        // array elements
    std::vector<std::pair<std::string, Json>> members;  // object members
    const Json* Get(const std::string& key) const {
        for (const auto& [k, v] : members)
            if (k == key) return &v;
        return nullptr;
    }
    int Int(int fallback = -1) const { return kind == Number ? static_cast<int>(number) : fallback; }
};

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
                    case 'n': out += '\n'; break;
                    case 't': out += '\t'; break;
                    case 'r': out += '\r'; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'u':
                        if (end - p < 5) return false;
                        p += 4;
                        out += '?';
                        break;
                    default: out += *p; break;
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
            if (p < end && *p == '}') { ++p; return true; }
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
                if (p < end && *p == ',') { ++p; continue; }
                if (p < end && *p == '}') { ++p; return true; }
                return false;
            }
        }
        if (*p == '[') {
            v.kind = Json::Array;
            ++p;
            Space();
            if (p < end && *p == ']') { ++p; return true; }
            for (;;) {
                Json child;
                if (!Value(child, depth + 1)) return false;
                v.items.push_back(std::move(child));
                Space();
                if (p < end && *p == ',') { ++p; continue; }
                if (p < end && *p == ']') { ++p; return true; }
                return false;
            }
        }
        if (*p == '"') {
            v.kind = Json::String;
            return Str(v.text);
        }
        if (Literal("true")) { v.kind = Json::Bool; v.number = 1; return true; }
        if (Literal("false")) { v.kind = Json::Bool; return true; }
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
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) | (uint32_t(uint8_t(b[at + 2])) << 16) |
           (uint32_t(uint8_t(b[at + 3])) << 24);
}

}  // namespace

GltfChannelModes ReadGltfChannelModes(const std::string& path) {
    GltfChannelModes out;
    std::ifstream f(path, std::ios::binary);
    if (!f) return out;
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::string text;
    if (bytes.size() >= 20 && bytes.compare(0, 4, "glTF") == 0) {
        const uint32_t chunkLength = U32(bytes, 12);
        if (U32(bytes, 16) != 0x4E4F534Au || chunkLength > bytes.size() - 20) return out;
        text = bytes.substr(20, chunkLength);
    } else {
        text = std::move(bytes);
    }
    Json root;
    if (!Parser(text.data(), text.data() + text.size()).Parse(root) || root.kind != Json::Object) return out;

    // Depth-first order of the node tree from the scene's roots, as the
    // importer builds it.
    const Json* nodes = root.Get("nodes");
    const Json* scenes = root.Get("scenes");
    const int sceneIndex = root.Get("scene") ? root.Get("scene")->Int(0) : 0;
    std::map<int, int> order;  // file node index -> depth-first position
    if (nodes && nodes->kind == Json::Array && scenes && scenes->kind == Json::Array && sceneIndex >= 0 &&
        sceneIndex < static_cast<int>(scenes->items.size())) {
        const Json* rootsJson = scenes->items[static_cast<size_t>(sceneIndex)].Get("nodes");
        std::vector<int> stack;
        if (rootsJson && rootsJson->kind == Json::Array)
            for (auto it = rootsJson->items.rbegin(); it != rootsJson->items.rend(); ++it) stack.push_back(it->Int());
        while (!stack.empty()) {
            const int n = stack.back();
            stack.pop_back();
            if (n < 0 || n >= static_cast<int>(nodes->items.size()) || order.count(n)) continue;
            const int position = static_cast<int>(order.size());
            order[n] = position;
            const Json* children = nodes->items[static_cast<size_t>(n)].Get("children");
            if (children && children->kind == Json::Array)
                for (auto it = children->items.rbegin(); it != children->items.rend(); ++it) stack.push_back(it->Int());
        }
    }
    out.nodeCount = static_cast<int>(order.size());

    const Json* animations = root.Get("animations");
    if (animations && animations->kind == Json::Array) {
        for (size_t a = 0; a < animations->items.size(); ++a) {
            const Json& anim = animations->items[a];
            const Json* channels = anim.Get("channels");
            const Json* samplers = anim.Get("samplers");
            if (!channels || !samplers || channels->kind != Json::Array || samplers->kind != Json::Array) continue;
            for (const Json& ch : channels->items) {
                const int s = ch.Get("sampler") ? ch.Get("sampler")->Int() : -1;
                const Json* target = ch.Get("target");
                if (s < 0 || s >= static_cast<int>(samplers->items.size()) || !target) continue;
                const Json* interp = samplers->items[static_cast<size_t>(s)].Get("interpolation");
                if (!interp || interp->text != "STEP") continue;
                const int node = target->Get("node") ? target->Get("node")->Int() : -1;
                const Json* pathJson = target->Get("path");
                auto pos = order.find(node);
                if (pos == order.end() || !pathJson) continue;
                out.steps.push_back({static_cast<int>(a), pos->second, pathJson->text});
            }
        }
    }
    out.read = true;
    return out;
}
