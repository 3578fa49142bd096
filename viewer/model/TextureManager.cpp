#include "viewer/model/TextureManager.h"

#include "viewer/model/TextureImage.h"

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

}  // namespace

// ---------------------------------------------------------------------------
// TextureEntry

HRESULT TextureEntry::LoadImageFile(const std::string& searchPath, ImageLoader* bitmapLoader,
                                    const std::string& modelDirectory) {
    // The model's texture directory, the texture directory, the media
    // directory, then the bare name.
    std::string found;
    if (!modelDirectory.empty()) found = FindFileNoCase(modelDirectory, name);
    if (found.empty()) found = FindFileNoCase(searchPath, name);
    const std::string media = MediaDirectory();
    if (found.empty() && !media.empty()) found = FindFileNoCase(media, name);
    if (found.empty()) found = FindFileNoCase(std::string(), name);
    if (found.empty()) {
        error =
            name + " was found neither " +
            (modelDirectory.empty() ? std::string()
                                    : "beside the model in " + Quoted(modelDirectory) + " nor ") +
            "in the texture directory " + Quoted(searchPath.empty() ? "." : searchPath) +
            (media.empty() ? std::string() : " nor in the media directory " + Quoted(media)) +
            " nor in the current directory";
        return DDERR_NOTFOUND;
    }
    path = found;

    const std::string ext = LowerExtension(name);
    if (ext == ".bmp") {
        if (bitmapLoader == nullptr) {
            error = found + ": no image loader for BMP files";
            return E_NOTIMPL;
        }
        auto image = std::make_unique<BitmapImage>();
        std::string loadError;
        if (!bitmapLoader->LoadBitmap(found, *image, loadError)) {
            error = found + ": " + loadError;
            return DDERR_NOTFOUND;
        }
        if (image->width == 0 || image->height == 0 ||
            image->pixels.size() != static_cast<size_t>(image->width) * image->height) {
            error = found + ": the bitmap has no pixels";
            return DDERR_NOTFOUND;
        }
        // A bitmap is drawn opaque: its alpha bits, if any, are not used.
        for (uint32_t& p : image->pixels) p |= 0xFFu;
        width = image->width;
        height = image->height;
        bitsPerPixel = image->bitsPerPixel;
        hasAlpha = false;
        bitmap = std::move(image);
        return S_OK;
    }
    if (ext == ".tga") {
        TgaImage image;
        if (FAILED(ReadTgaFile(found, image, error))) return E_FAIL;
        width = image.width;
        height = image.height;
        bitsPerPixel = image.bitsPerPixel;
        pixels = std::move(image.pixels);
        hasAlpha = AnyPixelTranslucent(pixels);
        return S_OK;
    }
    error = found + ": " +
            (ext.empty() ? std::string("a name without an extension") : Quoted(ext) + " images") +
            " cannot be loaded (only .bmp and .tga)";
    return E_NOTIMPL;
}

HRESULT TextureEntry::CreateSurface(RenderDevice* device) {
    surface.reset();
    if (device == nullptr) {
        error = name + ": no device to create the texture on";
        return E_INVALIDARG;
    }
    DeviceCaps caps;
    if (FAILED(device->GetCaps(caps))) {
        error = name + ": the device description cannot be read";
        return E_FAIL;
    }
    SurfaceDesc desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
    desc.dwTextureStage = 0;
    desc.dwCaps = DDSCAPS_TEXTURE;
    if (caps.hardware) {
        desc.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    } else {
        desc.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    }
    TextureSizeFor(caps, width, height, desc.dwWidth, desc.dwHeight);

    if (FAILED(ChooseTextureFormat(*device, bitsPerPixel, hasAlpha, desc.ddpfPixelFormat))) {
        error = name + ": the device offers no texture format for a " +
                std::to_string(bitsPerPixel) + "-bit image" + (hasAlpha ? " with alpha" : "");
        return E_FAIL;
    }
    const uint32_t bits = desc.ddpfPixelFormat.dwRGBBitCount;
    if ((desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8) || (bits != 16 && bits != 32)) {
        // Staged images carry 16- or 32-bit pixels only; palettes are not staged.
        error = name + ": the chosen texture format (" +
                ((desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)
                     ? std::string("palettised")
                     : std::to_string(bits) + "-bit") +
                ") cannot be filled";
        return E_NOTIMPL;
    }

    std::unique_ptr<TextureSurface> created;
    HRESULT hr = device->CreateTextureSurface(desc, created);
    if (FAILED(hr) || !created) {
        error = name + ": the device cannot create a " + std::to_string(desc.dwWidth) + " x " +
                std::to_string(desc.dwHeight) + " texture";
        return FAILED(hr) ? hr : E_FAIL;
    }

    const uint32_t* source = nullptr;
    if (bitmap) {
        source = bitmap->pixels.data();
    } else if (!pixels.empty()) {
        source = pixels.data();
    }
    if (source != nullptr) {
        // Convert at the image's own size; Blt scales to the texture's size.
        StagingImage staging;
        hr = FillStagingImage(source, width, height, desc.ddpfPixelFormat, staging);
        if (SUCCEEDED(hr)) hr = created->Blt(staging);
        if (FAILED(hr)) {
            error = name + ": the image cannot be copied onto its texture";
            return hr;
        }
    }
    surface = std::move(created);
    return S_OK;
}

void TextureEntry::Release() {
    surface.reset();
    bitmap.reset();
    pixels.clear();
    pixels.shrink_to_fit();
}

// ---------------------------------------------------------------------------
// TextureManager

TextureManager::TextureManager(int32_t capacity, ImageLoader* bitmapLoader)
    : m_bitmapLoader(bitmapLoader) {
    Reset(capacity);
}

TextureManager::~TextureManager() = default;

void TextureManager::SetSearchPath(const std::string& directory) {
    m_searchPath = directory;
}

int32_t TextureManager::Add(const std::string& name) {
    if (name.empty()) {
        m_lastError = "the texture name is empty";
        return E_INVALIDARG;
    }
    if (name.size() > kMaxTextureName) {
        m_lastError = "the texture name is " + std::to_string(name.size()) +
                      " bytes long, at most " + std::to_string(kMaxTextureName) + " are allowed";
        return E_INVALIDARG;
    }
    const int32_t existing = IndexOf(name);
    if (existing >= 0) return existing;
    if (m_count >= Capacity()) {
        m_lastError = "the texture list is full (" + std::to_string(Capacity()) + " textures)";
        return E_FAIL;
    }
    auto entry = std::make_unique<TextureEntry>(name);
    if (FAILED(entry->LoadImageFile(m_searchPath, m_bitmapLoader, m_modelDirectory))) {
        m_lastError = entry->error;
        return E_FAIL;
    }
    m_slots[static_cast<size_t>(m_count)] = std::move(entry);
    return m_count++;
}

int32_t TextureManager::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i] && SameName(m_slots[i]->name, name)) return static_cast<int32_t>(i);
    }
    return -1;
}

TextureSurface* TextureManager::Surface(int32_t index) const {
    const TextureEntry* entry = Entry(index);
    return entry ? entry->surface.get() : nullptr;
}

const TextureEntry* TextureManager::Entry(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) return nullptr;
    return m_slots[static_cast<size_t>(index)].get();
}

TextureEntry* TextureManager::Entry(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) return nullptr;
    return m_slots[static_cast<size_t>(index)].get();
}

void TextureManager::CreateSurfaces(RenderDevice* device) {
    ++m_generation;
    for (auto& entry : m_slots) {
        if (entry) entry->CreateSurface(device);
    }
}

void TextureManager::ReleaseSurfaces() {
    for (auto& entry : m_slots) {
        if (entry) entry->surface.reset();
    }
}

void TextureManager::Reset(int32_t capacity) {
    m_slots.clear();
    m_slots.resize(capacity > 0 ? static_cast<size_t>(capacity) : 0);
    m_count = 0;
}
