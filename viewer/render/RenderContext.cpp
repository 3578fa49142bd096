#include "viewer/render/RenderContext.h"

#include <algorithm>
#include <cctype>

bool IsSoftwareRenderer(const std::string& renderer) {
    std::string lower(renderer);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "lavapipe"})
        if (lower.find(name) != std::string::npos) return true;
    return false;
}
