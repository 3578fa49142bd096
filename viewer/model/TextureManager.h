// The texture manager: turns the texture file names of model files into
// small indices, loads each image once (TGA with the reader of this layer,
// BMP through the platform's image loader), keeps it decoded in memory and
// creates a texture surface for it on the current device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "viewer/platform/Device.h"
#include "viewer/platform/ImageLoader.h"
#include "viewer/platform/Result.h"

// The longest texture name: names are kept in an 80-byte field with its terminator.
constexpr size_t kMaxTextureName = 79;

class TextureEntry {
public:
    explicit TextureEntry(const std::string& textureName) : name(textureName) {}
    ~TextureEntry() { Release(); }
    TextureEntry(const TextureEntry&) = delete;
    TextureEntry& operator=(const TextureEntry&) = delete;

    // Finds the image file (in `modelDirectory` when one is given, then in
    // `searchPath`, then in the media directory, then as the bare name in the
    // current directory; each without regard to case when the exact name is
    // missing) and decodes it by its extension: ".bmp"
    // through `bitmapLoader`, ".tga" with the TGA reader. DDERR_NOTFOUND when
    // no file was found or a bitmap cannot be decoded, E_FAIL when a TGA
    // cannot be decoded, E_NOTIMPL for any other extension (or BMP without a
    // loader); the problem is then in `error`. A bitmap's pixels are kept
    // opaque.
    HRESULT LoadImageFile(const std::string& searchPath, ImageLoader* bitmapLoader,
                          const std::string& modelDirectory = std::string());

    // Replaces the surface with a new one on `device` in a format the device
    // offers, and fills it with the image.
    HRESULT CreateSurface(RenderDevice* device);

    // Frees the surface, the pixels and the bitmap.
    void Release();

    std::string name;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    bool hasAlpha = false;
    std::unique_ptr<TextureSurface> surface;
    // Exactly one of bitmap and pixels holds the image of a loaded entry.
    std::unique_ptr<BitmapImage> bitmap;
    std::vector<uint32_t> pixels;  // TGA image, rows from the top, RGBA as in TgaImage
    std::string path;              // the file the image came from
    std::string error;             // the last problem, for messages
};

class TextureManager {
public:
    // `bitmapLoader` (not owned, may be null: BMP files are then refused)
    // decodes BMP images.
    explicit TextureManager(int32_t capacity, ImageLoader* bitmapLoader = nullptr);
    ~TextureManager();
    TextureManager(const TextureManager&) = delete;
    TextureManager& operator=(const TextureManager&) = delete;

    // The directory searched first for image files (none = empty).
    void SetSearchPath(const std::string& directory);
    const std::string& SearchPath() const { return m_searchPath; }
    // The directory searched before the search path (the textures beside the
    // model being loaded; none = empty).
    void SetModelDirectory(const std::string& directory) { m_modelDirectory = directory; }
    const std::string& ModelDirectory() const { return m_modelDirectory; }

    // Registers a texture name and loads its image: the index of its slot, or a
    // negative result (E_INVALIDARG for an empty name or one longer than
    // kMaxTextureName, E_FAIL when the list is full or the image cannot be
    // loaded; LastError() then says why). A name already registered, compared
    // without regard to case, returns its index without loading again.
    int32_t Add(const std::string& name);
    // Index of the first entry with that name (without regard to case), or -1.
    int32_t IndexOf(const std::string& name) const;
    // The surface of an entry; null when the index is out of range, the slot
    // is empty or no surface was created.
    TextureSurface* Surface(int32_t index) const;
    // Gives every entry a fresh surface on `device` (results are not reported:
    // an entry whose surface failed has none). Called after every model load.
    void CreateSurfaces(RenderDevice* device);
    // Frees every entry's surface, keeping the images (before the device goes away).
    void ReleaseSurfaces();
    // Frees all entries and makes `capacity` empty slots.
    void Reset(int32_t capacity);

    int32_t Capacity() const { return static_cast<int32_t>(m_slots.size()); }
    int32_t Count() const { return m_count; }
    // The entry in a slot, or null.
    const TextureEntry* Entry(int32_t index) const;
    TextureEntry* Entry(int32_t index);
    // Why the last Add failed.
    const std::string& LastError() const { return m_lastError; }
    // Counts the calls of CreateSurfaces: drawing code reports a missing
    // texture once per cause until the surfaces are made again.
    uint32_t SurfaceGeneration() const { return m_generation; }

private:
    std::string m_searchPath;
    std::string m_modelDirectory;
    ImageLoader* m_bitmapLoader;
    std::vector<std::unique_ptr<TextureEntry>> m_slots;
    int32_t m_count = 0;
    std::string m_lastError;
    uint32_t m_generation = 0;
};
