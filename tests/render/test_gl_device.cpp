// The OpenGL device on a real Mesa context: what it draws, compared pixel by
// pixel with what Direct3D 7 draws for the same calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/render/RenderTestKit.h"
#include "viewer/render/GlDevice.h"
#include "viewer/render/SceneMath.h"

namespace {

constexpr uint32_t kSize = 64;
const Rgb kBlack{0, 0, 0};

// A material that shows exactly (r, g, b) whatever the light.
D3DMATERIAL7 Solid(float r, float g, float b) {
    D3DMATERIAL7 m{};
    m.emissive = {r, g, b, 1.0f};
    m.diffuse.a = 1.0f;
    return m;
}

class GlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = MakeContext(kSize, kSize);
        ASSERT_TRUE(context);
        ASSERT_EQ(GlRenderTarget::Create(*context, kSize, kSize, target), S_OK);
        std::string error;
        ASSERT_EQ(GlRenderDevice::Create(*context, *target, true, device, error), S_OK) << error;
        // Camera at the origin looking along +z; 90 degrees, so a point at
        // depth z shows at x / z, y / z in normalised coordinates.
        D3DMATRIX projection;
        ASSERT_EQ(SetProjectionMatrix(projection, 3.14159265f / 2, 1.0f, 1.0f, 100.0f), S_OK);
        device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, projection);
        device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    }

    // Two clockwise triangles covering x, y in [-h, h] at depth z (the middle
    // half of the image when h = z / 2), facing the camera.
    std::vector<ModelVertex> Quad(float h, float z, float nz = -1) {
        return {Vertex(-h, -h, z, 0, 0, nz, 0, 1), Vertex(-h, h, z, 0, 0, nz, 0, 0),
                Vertex(h, h, z, 0, 0, nz, 1, 0),   Vertex(-h, -h, z, 0, 0, nz, 0, 1),
                Vertex(h, h, z, 0, 0, nz, 1, 0),   Vertex(h, -h, z, 0, 0, nz, 1, 1)};
    }

    void Draw(const std::vector<ModelVertex>& vertices) {
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, vertices.data(),
                                        static_cast<uint32_t>(vertices.size()), 0),
                  S_OK);
    }

    RgbaImage Frame(const std::vector<std::vector<ModelVertex>>& draws, uint32_t clear = 0) {
        EXPECT_EQ(device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f), S_OK);
        EXPECT_EQ(device->BeginScene(), S_OK);
        for (const auto& d : draws) Draw(d);
        EXPECT_EQ(device->EndScene(), S_OK);
        RgbaImage image;
        EXPECT_TRUE(target->Read(image));
        return image;
    }

    void Lit(uint32_t lightRgb, float dx, float dy, float dz) {
        D3DMATERIAL7 white;
        InitMaterial(white, 1, 1, 1, 1);
        device->SetMaterial(white);
        D3DLIGHT7 light;
        InitLight(light, D3DLIGHT_DIRECTIONAL, dx, dy, dz, ((lightRgb >> 16) & 0xFF) / 255.0f,
                  ((lightRgb >> 8) & 0xFF) / 255.0f, (lightRgb & 0xFF) / 255.0f);
        ASSERT_EQ(device->SetLight(0, light), S_OK);
        device->LightEnable(0, true);
        device->SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
        device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x55555555);
    }

    std::unique_ptr<TextureSurface> Texture(const DDPIXELFORMAT& format, uint32_t width,
                                            uint32_t height) {
        SurfaceDesc desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        desc.dwCaps = DDSCAPS_TEXTURE;
        desc.dwWidth = width;
        desc.dwHeight = height;
        desc.ddpfPixelFormat = format;
        std::unique_ptr<TextureSurface> surface;
        EXPECT_EQ(device->CreateTextureSurface(desc, surface), S_OK);
        return surface;
    }

    std::unique_ptr<EglSurfacelessContext> context;
    std::unique_ptr<GlRenderTarget> target;
    std::unique_ptr<GlRenderDevice> device;
};

// The formats the device offers, as the texture code sees them.
std::vector<DDPIXELFORMAT> OfferedFormats(RenderDevice& device) {
    std::vector<DDPIXELFORMAT> formats;
    device.EnumTextureFormats(
        [](const DDPIXELFORMAT& f, void* c) -> HRESULT {
            static_cast<std::vector<DDPIXELFORMAT>*>(c)->push_back(f);
            return D3DENUMRET_OK;
        },
        &formats);
    return formats;
}

DDPIXELFORMAT FormatWith(RenderDevice& device, uint32_t bits, uint32_t alphaMask) {
    for (const DDPIXELFORMAT& f : OfferedFormats(device))
        if (f.dwRGBBitCount == bits && f.dwRGBAlphaBitMask == alphaMask) return f;
    ADD_FAILURE() << "no " << bits << "-bit format with alpha mask " << alphaMask;
    return {};
}

// A staged image of 16- or 32-bit pixels given row by row from the top.
StagingImage Staged(const DDPIXELFORMAT& format, uint32_t width, uint32_t height,
                    const std::vector<uint32_t>& pixels) {
    StagingImage image;
    image.width = width;
    image.height = height;
    image.format = format;
    const uint32_t bytes = format.dwRGBBitCount / 8;
    image.pitch = width * bytes + 4;  // a pitch wider than the row, as surfaces have
    image.bytes.assign(static_cast<size_t>(image.pitch) * height, 0xEE);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            std::memcpy(&image.bytes[y * image.pitch + x * bytes], &pixels[y * width + x], bytes);
    return image;
}

TEST_F(GlDeviceTest, ClearFillsTheTargetWithTheColour) {
    RgbaImage image = Frame({}, 0x00123456);
    EXPECT_PIXEL(image, 0, 0, (Rgb{0x12, 0x34, 0x56}), 0);
    EXPECT_PIXEL(image, kSize - 1, kSize - 1, (Rgb{0x12, 0x34, 0x56}), 0);
    EXPECT_EQ(CountNot(image, Rgb{0x12, 0x34, 0x56}, 0), 0);
}

TEST_F(GlDeviceTest, ClockwiseTrianglesAreDrawnAndTheirMirrorsCulled) {
    device->SetMaterial(Solid(1, 1, 1));
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
    // Upper-left triangle, clockwise as seen from the camera.
    const std::vector<ModelVertex> clockwise = {Vertex(-5, -5, 10), Vertex(-5, 5, 10),
                                                Vertex(5, 5, 10)};
    const std::vector<ModelVertex> mirror = {clockwise[0], clockwise[2], clockwise[1]};
    RgbaImage drawn = Frame({clockwise});
    EXPECT_PIXEL(drawn, 22, 22, (Rgb{255, 255, 255}), 0);  // inside, upper left
    EXPECT_PIXEL(drawn, 42, 42, kBlack, 0);                // the other half stays empty
    EXPECT_PIXEL(Frame({mirror}), 22, 22, kBlack, 0);
    // With culling off both windings draw; culling clockwise drops the first.
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    EXPECT_PIXEL(Frame({mirror}), 22, 22, (Rgb{255, 255, 255}), 0);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CW);
    EXPECT_PIXEL(Frame({clockwise}), 22, 22, kBlack, 0);
    EXPECT_PIXEL(Frame({mirror}), 22, 22, (Rgb{255, 255, 255}), 0);
}

TEST_F(GlDeviceTest, ImageIsUprightAndNotMirrored) {
    device->SetMaterial(Solid(1, 0, 0));
    // A triangle in the upper right quarter only (+x right, +y up).
    RgbaImage image = Frame({{Vertex(1, 1, 10), Vertex(1, 9, 10), Vertex(9, 9, 10)}});
    EXPECT_PIXEL(image, 36, 20, (Rgb{255, 0, 0}), 0);
    EXPECT_PIXEL(image, 20, 36, kBlack, 0);
    EXPECT_PIXEL(image, 20, 20, kBlack, 0);
    EXPECT_PIXEL(image, 36, 44, kBlack, 0);
}

TEST_F(GlDeviceTest, NearerSurfacesHideFartherOnesInEitherDrawingOrder) {
    // Red at depth 10 and green at depth 20 cover the same part of the image.
    std::vector<ModelVertex> nearQuad = Quad(5, 10), farQuad = Quad(10, 20);
    device->SetMaterial(Solid(1, 0, 0));
    device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    device->BeginScene();
    Draw(nearQuad);
    device->SetMaterial(Solid(0, 1, 0));
    Draw(farQuad);
    device->EndScene();
    RgbaImage image;
    ASSERT_TRUE(target->Read(image));
    EXPECT_PIXEL(image, 32, 32, (Rgb{255, 0, 0}), 0);

    device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    device->BeginScene();
    device->SetMaterial(Solid(0, 1, 0));
    Draw(farQuad);
    device->SetMaterial(Solid(1, 0, 0));
    Draw(nearQuad);
    device->EndScene();
    ASSERT_TRUE(target->Read(image));
    EXPECT_PIXEL(image, 32, 32, (Rgb{255, 0, 0}), 0);

    // Without the z-buffer the last drawn wins.
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
    device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    device->BeginScene();
    device->SetMaterial(Solid(1, 0, 0));
    Draw(nearQuad);
    device->SetMaterial(Solid(0, 1, 0));
    Draw(farQuad);
    device->EndScene();
    ASSERT_TRUE(target->Read(image));
    EXPECT_PIXEL(image, 32, 32, (Rgb{0, 255, 0}), 0);
}

TEST_F(GlDeviceTest, GeometryBeyondTheFarPlaneOrBeforeTheNearPlaneIsClipped) {
    device->SetMaterial(Solid(1, 1, 1));
    EXPECT_PIXEL(Frame({Quad(60, 120)}), 32, 32, kBlack, 0);     // far plane 100
    EXPECT_PIXEL(Frame({Quad(0.4f, 0.8f)}), 32, 32, kBlack, 0);  // near plane 1
    EXPECT_PIXEL(Frame({Quad(45, 90)}), 32, 32, (Rgb{255, 255, 255}), 0);
}

TEST_F(GlDeviceTest, DirectionalLightLightsSurfacesFacingIt) {
    // The light shines along +z, into the scene: it lights what faces the camera.
    Lit(0xFFFFFF, 0, 0, 1000);
    RgbaImage facing = Frame({Quad(5, 10, -1)});
    RgbaImage away = Frame({Quad(5, 10, +1)});
    EXPECT_PIXEL(facing, 32, 32, (Rgb{255, 255, 255}), 0);
    // Facing away: only the global ambient grey 0x55 times the white material.
    EXPECT_PIXEL(away, 32, 32, (Rgb{0x55, 0x55, 0x55}), 1);

    // Half-way turned: ambient plus cos(60 degrees) of the light.
    const float s = std::sqrt(3.0f) / 2;
    RgbaImage oblique = Frame({{Vertex(-5, -5, 10, 0, s, -0.5f), Vertex(-5, 5, 10, 0, s, -0.5f),
                                Vertex(5, 5, 10, 0, s, -0.5f)}});
    const int expected = static_cast<int>(std::lround((85.0 / 255 + 0.5) * 255));
    EXPECT_PIXEL(oblique, 22, 22, (Rgb{expected, expected, expected}), 1);
}

TEST_F(GlDeviceTest, LightColourScalesTheDiffuseTermOnly) {
    Lit(0x000000, 0, 0, 1);
    EXPECT_PIXEL(Frame({Quad(5, 10)}), 32, 32, (Rgb{0x55, 0x55, 0x55}), 1);
    Lit(0x804020, 0, 0, 1);
    // 0x55 + light colour, each channel.
    EXPECT_PIXEL(Frame({Quad(5, 10)}), 32, 32, (Rgb{0x55 + 0x80, 0x55 + 0x40, 0x55 + 0x20}), 1);
    // A disabled light leaves the ambient term.
    device->LightEnable(0, false);
    EXPECT_PIXEL(Frame({Quad(5, 10)}), 32, 32, (Rgb{0x55, 0x55, 0x55}), 1);
}

TEST_F(GlDeviceTest, LightStaysFixedInTheWorldWhenTheViewTurns) {
    // The light shines along world +z. Turned by 180 degrees about y, the
    // camera looks along world -z: the quad at world z = -10 is in front of
    // it. Its side facing the light (normal -z) is still the lit one, though
    // it now faces away from the camera.
    Lit(0xFFFFFF, 0, 0, 1);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, RotationY(3.14159265f));
    EXPECT_PIXEL(Frame({Quad(5, -10, -1)}), 32, 32, (Rgb{255, 255, 255}), 0);
    EXPECT_PIXEL(Frame({Quad(5, -10, +1)}), 32, 32, (Rgb{0x55, 0x55, 0x55}), 1);
    // A quarter turn: the light now comes from the camera's side.
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, RotationY(3.14159265f / 2));
    EXPECT_PIXEL(Frame({{Vertex(-10, -5, -5, 0, 0, -1), Vertex(-10, 5, -5, 0, 0, -1),
                         Vertex(-10, 5, 5, 0, 0, -1)}}),
                 28, 28, (Rgb{255, 255, 255}), 0);
}

TEST_F(GlDeviceTest, WireFrameDrawsOnlyTheEdges) {
    device->SetMaterial(Solid(1, 1, 1));
    const std::vector<ModelVertex> big = {Vertex(-9, -9, 10), Vertex(-9, 9, 10), Vertex(9, 9, 10)};
    const int solid = CountNot(Frame({big}), kBlack);
    device->SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
    RgbaImage wire = Frame({big});
    EXPECT_PIXEL(wire, 20, 40 - 18, kBlack, 0);  // well inside the triangle
    const int edges = CountNot(wire, kBlack);
    EXPECT_GT(edges, 60);  // three edges of about 28, 28 and 40 pixels
    EXPECT_LT(edges, solid / 4);
    // Back-facing triangles stay culled in wire frame.
    EXPECT_EQ(CountNot(Frame({{big[0], big[2], big[1]}}), kBlack), 0);
}

TEST_F(GlDeviceTest, TextureModulatesTheLitColourAndAlphaTestDropsFaintTexels) {
    auto surface = Texture(FormatWith(*device, 32, 0xFF000000), 2, 1);
    ASSERT_TRUE(surface);
    // Left texel blue with alpha 64, right texel orange with alpha 65.
    ASSERT_EQ(
        surface->Blt(Staged(surface->Desc().ddpfPixelFormat, 2, 1, {0x400000FFu, 0x41FF8000u})),
        S_OK);
    Lit(0xFFFFFF, 0, 0, 1);
    device->SetTexture(0, surface.get());
    device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRENDERSTATE_ALPHAREF, 0x40);
    device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER);
    RgbaImage image = Frame({Quad(5, 10)}, 0x00102030);
    EXPECT_PIXEL(image, 20, 32, (Rgb{0x10, 0x20, 0x30}), 0);  // left half: background
    EXPECT_PIXEL(image, 44, 32, (Rgb{255, 128, 0}), 0);

    // Facing away the texel is modulated by the ambient grey.
    image = Frame({Quad(5, 10, 1)});
    EXPECT_PIXEL(image, 44, 32, (Rgb{0x55, 0x2B, 0}), 1);

    // Alpha test off: the faint texel is drawn.
    device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 0);
    EXPECT_PIXEL(Frame({Quad(5, 10)}), 20, 32, (Rgb{0, 0, 255}), 0);
}

TEST_F(GlDeviceTest, EveryOfferedFormatArrivesWithItsOwnPrecision) {
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);  // unlit: white times the texel
    struct Case {
        uint32_t bits, alphaMask, pixel;
        Rgb expected;
    } cases[] = {
        {16, 0, 0xF800 | (0x20 << 5) | 0x10, {255, 130, 132}},                   // 565: 31, 32, 16
        {16, 0x8000, 0x8000 | (0x1F << 10) | (0x08 << 5) | 0x00, {255, 66, 0}},  // 1555
        {16, 0xF000, 0xF000 | 0x0F00 | 0x0080 | 0x0001, {255, 136, 17}},         // 4444
        {32, 0, 0x00C86432, {200, 100, 50}},
        {32, 0xFF000000, 0xFF0A141E, {10, 20, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << "-bit, alpha mask " << c.alphaMask);
        auto surface = Texture(FormatWith(*device, c.bits, c.alphaMask), 1, 1);
        ASSERT_TRUE(surface);
        ASSERT_EQ(surface->Blt(Staged(surface->Desc().ddpfPixelFormat, 1, 1, {c.pixel})), S_OK);
        device->SetTexture(0, surface.get());
        EXPECT_PIXEL(Frame({Quad(5, 10)}), 32, 32, c.expected, 1);
    }
}

TEST_F(GlDeviceTest, TransparentTexelsOfSixteenBitFormatsFailTheAlphaTest) {
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRENDERSTATE_ALPHAREF, 0x40);
    device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER);
    auto oneBit = Texture(FormatWith(*device, 16, 0x8000), 2, 1);
    ASSERT_EQ(oneBit->Blt(Staged(oneBit->Desc().ddpfPixelFormat, 2, 1, {0x7FFFu, 0xFFFFu})), S_OK);
    device->SetTexture(0, oneBit.get());
    RgbaImage image = Frame({Quad(5, 10)}, 0x00000080);
    EXPECT_PIXEL(image, 20, 32, (Rgb{0, 0, 0x80}), 0);
    EXPECT_PIXEL(image, 44, 32, (Rgb{255, 255, 255}), 0);
    // 4444: alpha 4 of 15 is 68 > 64 and passes, 3 of 15 is 51 and does not.
    auto fourBit = Texture(FormatWith(*device, 16, 0xF000), 2, 1);
    ASSERT_EQ(fourBit->Blt(Staged(fourBit->Desc().ddpfPixelFormat, 2, 1, {0x3FFFu, 0x4FFFu})),
              S_OK);
    device->SetTexture(0, fourBit.get());
    image = Frame({Quad(5, 10)}, 0x00000080);
    EXPECT_PIXEL(image, 20, 32, (Rgb{0, 0, 0x80}), 0);
    EXPECT_PIXEL(image, 44, 32, (Rgb{255, 255, 255}), 0);
}

TEST_F(GlDeviceTest, BltScalesTheStagedImageToTheTextureSize) {
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    // A 2x2 image onto a 4x4 texture: each staged pixel covers a quarter.
    auto surface = Texture(FormatWith(*device, 32, 0), 4, 4);
    ASSERT_EQ(surface->Blt(Staged(surface->Desc().ddpfPixelFormat, 2, 2,
                                  {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu})),
              S_OK);
    device->SetTexture(0, surface.get());
    RgbaImage image = Frame({Quad(5, 10)});
    EXPECT_PIXEL(image, 20, 20, (Rgb{255, 0, 0}), 0);      // top left
    EXPECT_PIXEL(image, 44, 20, (Rgb{0, 255, 0}), 0);      // top right
    EXPECT_PIXEL(image, 20, 44, (Rgb{0, 0, 255}), 0);      // bottom left
    EXPECT_PIXEL(image, 44, 44, (Rgb{255, 255, 255}), 0);  // bottom right
}

TEST_F(GlDeviceTest, RefusesWhatItCannotDraw) {
    const std::vector<ModelVertex> quad = Quad(5, 10);
    // Outside a scene.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, quad.data(), 6, 0), E_FAIL);
    EXPECT_EQ(device->EndScene(), E_FAIL);
    device->SetMaterial(Solid(1, 1, 1));
    device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    ASSERT_EQ(device->BeginScene(), S_OK);
    EXPECT_EQ(device->BeginScene(), E_FAIL);
    // Another vertex format, an index past the vertices.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0x142, quad.data(), 6, 0), E_INVALIDARG);
    const uint16_t indices[] = {0, 1, 6};
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, quad.data(), 6,
                                           indices, 3, 0),
              E_INVALIDARG);
    device->EndScene();
    RgbaImage image;
    ASSERT_TRUE(target->Read(image));
    EXPECT_EQ(CountNot(image, kBlack), 0);

    // Surfaces the device cannot make, images that do not fit them.
    SurfaceDesc desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwCaps = DDSCAPS_TEXTURE;
    desc.dwWidth = desc.dwHeight = 4;
    desc.ddpfPixelFormat = FormatWith(*device, 16, 0);
    desc.ddpfPixelFormat.dwRBitMask = 0x001F;  // BGR 565 is not offered
    std::unique_ptr<TextureSurface> surface;
    EXPECT_EQ(device->CreateTextureSurface(desc, surface), E_INVALIDARG);
    desc.ddpfPixelFormat = FormatWith(*device, 16, 0);
    desc.dwWidth = 0;
    EXPECT_EQ(device->CreateTextureSurface(desc, surface), E_INVALIDARG);
    EXPECT_FALSE(surface);
    auto good = Texture(FormatWith(*device, 16, 0), 4, 4);
    StagingImage wrongFormat = Staged(FormatWith(*device, 32, 0), 1, 1, {0});
    EXPECT_EQ(good->Blt(wrongFormat), E_INVALIDARG);
    StagingImage shortImage = Staged(FormatWith(*device, 16, 0), 2, 2, {0, 0, 0, 0});
    shortImage.bytes.resize(shortImage.bytes.size() - 1);
    EXPECT_EQ(good->Blt(shortImage), E_INVALIDARG);
    D3DVIEWPORT7 tooLarge = {0, 0, kSize + 1, kSize, 0, 1};
    EXPECT_EQ(device->SetViewport(tooLarge), E_INVALIDARG);
}

TEST_F(GlDeviceTest, SetTextureKeepsATextureAliveAfterItsSurfaceIsReplaced) {
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    auto surface = Texture(FormatWith(*device, 32, 0), 1, 1);
    ASSERT_EQ(surface->Blt(Staged(surface->Desc().ddpfPixelFormat, 1, 1, {0x00FF00FFu})), S_OK);
    device->SetTexture(0, surface.get());
    surface.reset();  // a model load makes all surfaces anew
    EXPECT_PIXEL(Frame({Quad(5, 10)}), 32, 32, (Rgb{255, 0, 255}), 0);
    device->SetTexture(0, nullptr);
    EXPECT_PIXEL(Frame({Quad(5, 10)}), 32, 32, (Rgb{255, 255, 255}), 0);
}

TEST_F(GlDeviceTest, StaticGeometryIsUploadedOnceAndChangedGeometryAgain) {
    device->SetMaterial(Solid(1, 1, 1));
    std::vector<ModelVertex> quad = Quad(5, 10);
    auto frame = [&] {
        device->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        device->BeginScene();
        Draw(quad);  // the same array every frame, as a loaded model draws
        device->EndScene();
        RgbaImage image;
        EXPECT_TRUE(target->Read(image));
        return image;
    };
    frame();
    const uint64_t first = device->UploadedGeometryBytes();
    EXPECT_GE(first, quad.size() * sizeof(ModelVertex));
    frame();
    frame();
    EXPECT_EQ(device->UploadedGeometryBytes(), first);
    EXPECT_EQ(device->CachedGeometryEntries(), 1u);

    // Moved in place, as skinning does: uploaded again and drawn where it is now.
    for (ModelVertex& v : quad) v.x += 10;
    RgbaImage moved = frame();
    EXPECT_EQ(device->UploadedGeometryBytes(), 2 * first);
    EXPECT_PIXEL(moved, 32, 32, kBlack, 0);
    EXPECT_PIXEL(moved, 56, 32, (Rgb{255, 255, 255}), 0);
    EXPECT_EQ(device->CachedGeometryEntries(), 1u);
}

}  // namespace
