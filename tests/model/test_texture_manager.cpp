// The texture manager on real image files in temporary directories: names,
// search order, the list's capacity, surfaces on a recording device, and BMP
// images through the Qt image loader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/RecordingDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/model/TextureImage.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/QtImageLoader.h"

namespace {

// Writes a TGA of `width` x `height` pixels, all `rgba`, and returns its path.
std::string WriteTga(const std::string& path, uint32_t width, uint32_t height, uint32_t rgba,
                     uint8_t depth = 24) {
    TgaLayout layout;
    layout.depth = depth;
    ByteWriter w;
    w.bytes = EncodeTga(width, height, std::vector<uint32_t>(size_t{width} * height, rgba), layout);
    return w.SaveAs(path);
}

class TextureManagerTest : public ::testing::Test {
protected:
    TextureManagerTest() : textures(1000, &loader) {
        ::unsetenv(kMediaDirVariable);
        textures.SetSearchPath(dir.Path().string() + "/");
    }
    ~TextureManagerTest() override { ::unsetenv(kMediaDirVariable); }

    std::string File(const std::string& name) const { return dir.File(name); }

    TempDir dir;
    QtImageLoader loader;
    TextureManager textures;
    RecordingDevice device;
};

TEST_F(TextureManagerTest, NamesDifferingInCaseShareOneEntryLoadedOnce) {
    WriteTga(File("Wall.TGA"), 4, 4, 0x808080FFu);
    EXPECT_EQ(textures.Add("Wall.TGA"), 0);
    std::filesystem::remove(File("Wall.TGA"));  // a second load would now fail
    EXPECT_EQ(textures.Add("wall.tga"), 0);
    EXPECT_EQ(textures.Count(), 1);
    EXPECT_EQ(textures.IndexOf("WALL.tga"), 0);
    EXPECT_EQ(textures.IndexOf("roof.tga"), -1);
    EXPECT_EQ(textures.Entry(0)->name, "Wall.TGA");
}

TEST_F(TextureManagerTest, FullListRefusesNewNamesButFindsKnownOnes) {
    TextureManager small(2, &loader);
    small.SetSearchPath(dir.Path().string());
    WriteTga(File("a.tga"), 1, 1, 0xFFFFFFFFu);
    WriteTga(File("b.tga"), 1, 1, 0xFFFFFFFFu);
    WriteTga(File("c.tga"), 1, 1, 0xFFFFFFFFu);
    EXPECT_EQ(small.Add("a.tga"), 0);
    EXPECT_EQ(small.Add("b.tga"), 1);
    EXPECT_EQ(small.Add("c.tga"), E_FAIL);
    EXPECT_NE(small.LastError().find("full"), std::string::npos) << small.LastError();
    EXPECT_EQ(small.Add("A.TGA"), 0);
    EXPECT_EQ(small.Count(), 2);
}

TEST_F(TextureManagerTest, NamesThatCannotBeRegistered) {
    EXPECT_EQ(textures.Add(""), E_INVALIDARG);
    const std::string longest(75, 'n');
    WriteTga(File(longest + ".tga"), 1, 1, 0xFFFFFFFFu);  // 79 bytes: allowed
    EXPECT_EQ(textures.Add(longest + ".tga"), 0);
    EXPECT_EQ(textures.Add(longest + "x.tga"), E_INVALIDARG);  // 80 bytes
    EXPECT_NE(textures.LastError().find("80 bytes"), std::string::npos) << textures.LastError();

    EXPECT_EQ(textures.Add("missing.tga"), E_FAIL);
    EXPECT_NE(textures.LastError().find("missing.tga was found neither"), std::string::npos)
        << textures.LastError();
    EXPECT_EQ(textures.Count(), 1);
}

TEST_F(TextureManagerTest, EntryResultsForMissingAndUnsupportedFiles) {
    std::ofstream(File("photo.jpg")) << "jpeg";
    std::ofstream(File("README")) << "text";
    TextureEntry jpg("photo.jpg"), noDot("README"), missingJpg("gone.jpg"), missingTga("gone.tga");
    const std::string path = dir.Path().string();
    EXPECT_EQ(jpg.LoadImageFile(path, &loader), E_NOTIMPL);
    EXPECT_EQ(noDot.LoadImageFile(path, &loader), E_NOTIMPL);
    EXPECT_EQ(missingJpg.LoadImageFile(path, &loader), DDERR_NOTFOUND);
    EXPECT_EQ(missingTga.LoadImageFile(path, &loader), DDERR_NOTFOUND);

    WriteTga(File("plain.bmp.tga"), 1, 1, 0xFFFFFFFFu);
    TextureEntry lastDot("plain.bmp.tga");
    EXPECT_EQ(lastDot.LoadImageFile(path, &loader), S_OK);  // the type comes from the last dot

    std::ofstream(File("broken.bmp")) << "not a bitmap";
    TextureEntry broken("broken.bmp");
    EXPECT_EQ(broken.LoadImageFile(path, &loader), DDERR_NOTFOUND);
    EXPECT_NE(broken.error.find(File("broken.bmp")), std::string::npos) << broken.error;
    QImage png(2, 2, QImage::Format_RGB32);
    png.fill(Qt::red);
    ASSERT_TRUE(png.save(QString::fromStdString(File("png.bmp")), "PNG"));
    TextureEntry notBitmap("png.bmp");
    EXPECT_EQ(notBitmap.LoadImageFile(path, &loader), DDERR_NOTFOUND);  // bitmaps only
    TextureEntry noLoader("broken.bmp");
    EXPECT_EQ(noLoader.LoadImageFile(path, nullptr), E_NOTIMPL);
}

TEST_F(TextureManagerTest, SearchOrderTextureDirThenMediaDirThenCurrentDir) {
    TempDir media, current;
    WriteTga(File("both.tga"), 4, 4, 0xFFFFFFFFu);
    WriteTga(media.File("both.tga"), 8, 8, 0xFFFFFFFFu);
    WriteTga(media.File("Media.tga"), 2, 2, 0xFFFFFFFFu);
    WriteTga(current.File("here.tga"), 3, 3, 0xFFFFFFFFu);
    ::setenv(kMediaDirVariable, media.Path().c_str(), 1);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(current.Path());

    const int32_t both = textures.Add("both.tga");
    const int32_t fromMedia = textures.Add("media.TGA");
    const int32_t fromCurrent = textures.Add("here.tga");
    ::unsetenv(kMediaDirVariable);
    const int32_t mediaGone = textures.Add("other.tga");
    std::filesystem::current_path(before);

    ASSERT_GE(both, 0);
    EXPECT_EQ(textures.Entry(both)->width, 4u);  // the texture directory comes first
    ASSERT_GE(fromMedia, 0);
    EXPECT_EQ(textures.Entry(fromMedia)->width, 2u);
    ASSERT_GE(fromCurrent, 0);
    EXPECT_EQ(textures.Entry(fromCurrent)->width, 3u);
    EXPECT_EQ(mediaGone, E_FAIL);
}

TEST_F(TextureManagerTest, ModelDirectoryComesFirstAndBackslashesSeparateFolders) {
    TempDir model;
    WriteTga(model.File("both.tga"), 5, 5, 0xFFFFFFFFu);
    std::filesystem::create_directories(model.Path() / "Sub");
    WriteTga(model.File("Sub/Wall.TGA"), 6, 6, 0xFFFFFFFFu);
    WriteTga(File("both.tga"), 4, 4, 0xFFFFFFFFu);
    WriteTga(File("program.tga"), 7, 7, 0xFFFFFFFFu);
    textures.SetModelDirectory(model.Path().string());

    const int32_t both = textures.Add("both.tga");
    const int32_t program = textures.Add("program.tga");
    const int32_t nested = textures.Add("sub\\wall.tga");
    const int32_t missing = textures.Add("sub\\none.tga");
    ASSERT_GE(both, 0);
    EXPECT_EQ(textures.Entry(both)->width, 5u);
    // The model's folder does not hide the texture directory.
    ASSERT_GE(program, 0) << textures.LastError();
    EXPECT_EQ(textures.Entry(program)->width, 7u);
    ASSERT_GE(nested, 0) << textures.LastError();
    EXPECT_EQ(textures.Entry(nested)->width, 6u);
    EXPECT_EQ(missing, E_FAIL);
    EXPECT_NE(textures.LastError().find(model.Path().string()), std::string::npos)
        << textures.LastError();
}

TEST_F(TextureManagerTest, SurfacesOnTheDeviceFollowTheImageAndCaps) {
    WriteTga(File("opaque.tga"), 100, 60, 0xC8643280u, 24);
    WriteTga(File("alpha.tga"), 2, 2, 0xC8643280u, 32);
    ASSERT_EQ(textures.Add("opaque.tga"), 0);
    ASSERT_EQ(textures.Add("alpha.tga"), 1);
    EXPECT_FALSE(textures.Entry(0)->hasAlpha);
    EXPECT_TRUE(textures.Entry(1)->hasAlpha);
    EXPECT_EQ(textures.Surface(0), nullptr);  // none before CreateSurfaces

    device.caps.dwTextureCaps = D3DPTEXTURECAPS_POW2;
    device.caps.dwMaxTextureWidth = device.caps.dwMaxTextureHeight = 1024;
    textures.CreateSurfaces(&device);
    ASSERT_EQ(device.surfaces.size(), 2u);
    EXPECT_EQ(textures.Surface(0), device.surfaces[0]);
    EXPECT_EQ(textures.Surface(1), device.surfaces[1]);

    const SurfaceDesc& d = device.surfaces[0]->Desc();
    EXPECT_EQ(d.dwFlags, 0x101007u);
    EXPECT_EQ(d.dwCaps, DDSCAPS_TEXTURE);
    EXPECT_EQ(d.dwCaps2, DDSCAPS2_TEXTUREMANAGE);
    EXPECT_EQ(d.dwTextureStage, 0u);
    EXPECT_EQ(d.dwWidth, 128u);
    EXPECT_EQ(d.dwHeight, 64u);
    EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 16u);  // 24 bits: the 16-bit fallback, 565
    EXPECT_EQ(d.ddpfPixelFormat.dwGBitMask, 0x07E0u);

    // The staged image has the image's own size and the packed pixels.
    ASSERT_EQ(device.surfaces[0]->blts.size(), 1u);
    const StagingImage& staged = device.surfaces[0]->blts[0];
    EXPECT_EQ(staged.width, 100u);
    EXPECT_EQ(staged.height, 60u);
    uint16_t first;
    std::memcpy(&first, staged.bytes.data(), 2);
    EXPECT_EQ(first, 0xCB26u);

    const SurfaceDesc& a = device.surfaces[1]->Desc();
    EXPECT_EQ(a.ddpfPixelFormat.dwRGBAlphaBitMask, 0xFF000000u);
    uint32_t alphaPixel;
    std::memcpy(&alphaPixel, device.surfaces[1]->blts[0].bytes.data(), 4);
    EXPECT_EQ(alphaPixel, 0x80C86432u);
}

TEST_F(TextureManagerTest, EveryCallMakesFreshSurfacesAndCountsAGeneration) {
    WriteTga(File("a.tga"), 2, 2, 0xFFFFFFFFu);
    ASSERT_EQ(textures.Add("a.tga"), 0);
    const uint32_t before = textures.SurfaceGeneration();
    textures.CreateSurfaces(&device);
    textures.CreateSurfaces(&device);
    EXPECT_EQ(textures.SurfaceGeneration(), before + 2);
    ASSERT_EQ(device.surfaces.size(), 2u);
    EXPECT_EQ(textures.Surface(0), device.surfaces[1]);

    textures.ReleaseSurfaces();
    EXPECT_EQ(textures.Surface(0), nullptr);
    EXPECT_EQ(textures.Count(), 1);  // the image stays
    textures.CreateSurfaces(&device);
    EXPECT_NE(textures.Surface(0), nullptr);
}

TEST_F(TextureManagerTest, SoftwareDeviceTexturesLiveInSystemMemory) {
    WriteTga(File("a.tga"), 2, 2, 0xFFFFFFFFu);
    ASSERT_EQ(textures.Add("a.tga"), 0);
    device.caps.hardware = false;
    textures.CreateSurfaces(&device);
    ASSERT_EQ(device.surfaces.size(), 1u);
    EXPECT_EQ(device.surfaces[0]->Desc().dwCaps, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
    EXPECT_EQ(device.surfaces[0]->Desc().dwCaps2, 0u);
}

TEST_F(TextureManagerTest, FailuresLeaveTheEntryWithoutASurface) {
    WriteTga(File("a.tga"), 2, 2, 0xFFFFFFFFu);
    ASSERT_EQ(textures.Add("a.tga"), 0);
    TextureEntry& entry = *textures.Entry(0);

    EXPECT_EQ(entry.CreateSurface(nullptr), E_INVALIDARG);
    device.getCapsResult = E_FAIL;
    EXPECT_EQ(entry.CreateSurface(&device), E_FAIL);
    device.getCapsResult = S_OK;
    device.createSurfaceResult = E_OUTOFMEMORY;
    EXPECT_EQ(entry.CreateSurface(&device), E_OUTOFMEMORY);
    device.createSurfaceResult = S_OK;
    device.bltResult = DDERR_SURFACELOST;
    EXPECT_EQ(entry.CreateSurface(&device), DDERR_SURFACELOST);
    EXPECT_EQ(textures.Surface(0), nullptr);
    device.bltResult = S_OK;
    device.formats = {TestFormats::A8R8G8B8()};  // nothing for an opaque image
    EXPECT_EQ(entry.CreateSurface(&device), E_FAIL);
    EXPECT_NE(entry.error.find("no texture format"), std::string::npos) << entry.error;
    EXPECT_EQ(textures.Surface(0), nullptr);

    // A surface made earlier is released by the failing attempt.
    device.formats = TestFormats::Standard();
    ASSERT_EQ(entry.CreateSurface(&device), S_OK);
    device.createSurfaceResult = E_FAIL;
    entry.CreateSurface(&device);
    EXPECT_EQ(textures.Surface(0), nullptr);
}

TEST_F(TextureManagerTest, ResetEmptiesTheListWithANewCapacity) {
    WriteTga(File("a.tga"), 2, 2, 0xFFFFFFFFu);
    WriteTga(File("b.tga"), 2, 2, 0xFFFFFFFFu);
    ASSERT_EQ(textures.Add("a.tga"), 0);
    textures.CreateSurfaces(&device);
    textures.Reset(1);
    EXPECT_EQ(textures.Capacity(), 1);
    EXPECT_EQ(textures.Count(), 0);
    EXPECT_EQ(textures.IndexOf("a.tga"), -1);
    EXPECT_EQ(textures.Surface(0), nullptr);
    EXPECT_EQ(textures.Add("b.tga"), 0);
    EXPECT_EQ(textures.Surface(-1), nullptr);
    EXPECT_EQ(textures.Surface(1), nullptr);
}

TEST_F(TextureManagerTest, DamagedTgaIsNotAddedAndTheReasonIsKept) {
    WriteTga(File("whole.tga"), 4, 4, 0xFFFFFFFFu);
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(File("whole.tga"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ByteWriter cut;
    cut.bytes.assign(bytes.begin(), bytes.begin() + 30);
    cut.SaveAs(File("cut.tga"));
    EXPECT_EQ(textures.Add("cut.tga"), E_FAIL);
    EXPECT_NE(textures.LastError().find(File("cut.tga")), std::string::npos);
    EXPECT_NE(textures.LastError().find("ends inside the pixel data"), std::string::npos)
        << textures.LastError();
    EXPECT_EQ(textures.Count(), 0);
}

// ---------------------------------------------------------------------------
// BMP images through QImage

TEST_F(TextureManagerTest, TrueColourBitmapKeepsItsPixelsAndFileDepth) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    image.setPixelColor(0, 0, QColor(200, 100, 50));  // top-left
    image.setPixelColor(2, 1, QColor(1, 2, 3));       // bottom-right
    ASSERT_TRUE(image.save(QString::fromStdString(File("Brick.bmp")), "BMP"));

    ASSERT_EQ(textures.Add("brick.BMP"), 0);
    const TextureEntry& e = *textures.Entry(0);
    ASSERT_TRUE(e.bitmap);
    EXPECT_TRUE(e.pixels.empty());
    EXPECT_EQ(e.width, 3u);
    EXPECT_EQ(e.height, 2u);
    EXPECT_EQ(e.bitsPerPixel, 24u);
    EXPECT_FALSE(e.hasAlpha);
    EXPECT_EQ(e.bitmap->pixels[0], 0xC86432FFu);
    EXPECT_EQ(e.bitmap->pixels[5], 0x010203FFu);

    // Converted with the same mask arithmetic as TGA pixels.
    textures.CreateSurfaces(&device);
    ASSERT_EQ(device.surfaces.size(), 1u);
    const StagingImage& staged = device.surfaces[0]->blts.at(0);
    EXPECT_EQ(staged.format.dwRGBBitCount, 16u);
    uint16_t first;
    std::memcpy(&first, staged.bytes.data(), 2);
    EXPECT_EQ(first, 0xCB26u);
}

TEST_F(TextureManagerTest, PalettisedBitmapWantsAPaletteFormat) {
    QImage image(4, 4, QImage::Format_Indexed8);
    QVector<QRgb> table(256, qRgb(255, 0, 0));  // 256 colours: an 8-bit file
    table[1] = qRgb(0, 0, 255);
    image.setColorTable(table);
    image.fill(1);
    ASSERT_TRUE(image.save(QString::fromStdString(File("pal.bmp")), "BMP"));
    ASSERT_EQ(textures.Add("pal.bmp"), 0);
    const TextureEntry& e = *textures.Entry(0);
    EXPECT_EQ(e.bitsPerPixel, 8u);
    EXPECT_EQ(e.bitmap->pixels[0], 0x0000FFFFu);

    textures.CreateSurfaces(&device);  // no palette formats: 16-bit fallback
    ASSERT_NE(textures.Surface(0), nullptr);
    EXPECT_EQ(device.surfaces[0]->Desc().ddpfPixelFormat.dwRBitMask, 0xF800u);

    // A palette format is chosen by the rule, but staged images carry no palette.
    device.formats = {TestFormats::Palette8(), TestFormats::R5G6B5()};
    textures.CreateSurfaces(&device);
    EXPECT_EQ(textures.Surface(0), nullptr);
    EXPECT_NE(textures.Entry(0)->error.find("palettised"), std::string::npos);
}

}  // namespace
