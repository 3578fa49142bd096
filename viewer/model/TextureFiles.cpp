#include "viewer/model/TextureFiles.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

std::string MediaDirectory() {
    const char* value = std::getenv(kMediaDirVariable);
    if (value == nullptr || value[0] == '\0') return std::string();
    std::string directory = value;
    if (directory.back() != '/') directory += '/';
    return directory;
}

namespace {

// The entry of `directory` named `name`, or one whose name differs only in
// case (the first in name order, so that the choice does not depend on the
// directory's order): a regular file or, with `folder`, a directory.
std::string FindEntryNoCase(const std::string& directory, const std::string& name, bool folder) {
    auto fits = [folder](const std::string& path) {
        std::error_code ec;
        return folder ? fs::is_directory(fs::path(path), ec) : IsRegularFile(path);
    };
    if (fits(JoinPath(directory, name))) return name;
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
    if (ec) return std::string();
    std::string best;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string candidate = it->path().filename().string();
        if (!EqualNoCase(candidate, name)) continue;
        if (!fits(JoinPath(directory, candidate))) continue;
        if (best.empty() || candidate < best) best = candidate;
    }
    return best;
}

}  // namespace

std::string FindFileNoCase(const std::string& directory, const std::string& name) {
    // Names from model files come from a system that ignores case and
    // separates folders with backslashes.
    std::vector<std::string> parts;
    std::string part;
    for (const char c : name) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    if (parts.empty()) return std::string();
    std::string path = directory;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string found = FindEntryNoCase(path, parts[i], i + 1 < parts.size());
        if (found.empty()) return std::string();
        path = JoinPath(path, found);
    }
    return path;
}

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return std::string();
    std::string ext = name.substr(dot);
    for (char& c : ext) c = LowerAscii(c);
    return ext;
}
