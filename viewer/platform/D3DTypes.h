// Plain records of the Direct3D 7 interface the viewer is written against:
// the row-vector matrix, the 32-byte model vertex and the fixed-function
// material, light and viewport records.
#pragma once

#include <cstddef>
#include <cstdint>

// 4x4 single-precision matrix, row-major; element (r, c) at index 4r + c.
// A point is a row vector multiplied on the left; row 4 holds the translation.
struct D3DMATRIX {
    float m[16];

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
};
static_assert(sizeof(D3DMATRIX) == 64, "D3DMATRIX is 16 floats");

D3DMATRIX IdentityMatrix();

// The vertex of every model format and every draw call: position, normal,
// one texture-coordinate pair (flexible vertex format D3DFVF_VERTEX).
struct ModelVertex {
    float x, y, z;
    float nx, ny, nz;
    float tu, tv;
};
static_assert(sizeof(ModelVertex) == 32, "ModelVertex is eight floats without padding");
static_assert(offsetof(ModelVertex, nx) == 12 && offsetof(ModelVertex, tu) == 24,
              "ModelVertex field order is position, normal, texture coordinates");

constexpr uint32_t D3DFVF_XYZ = 0x002;
constexpr uint32_t D3DFVF_NORMAL = 0x010;
constexpr uint32_t D3DFVF_TEX1 = 0x100;
constexpr uint32_t D3DFVF_VERTEX = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;  // 0x112
static_assert(D3DFVF_VERTEX == 274, "D3DFVF_VERTEX is 0x112");

struct D3DVECTOR {
    float x, y, z;
};

struct D3DCOLORVALUE {
    float r, g, b, a;
};

struct D3DMATERIAL7 {
    D3DCOLORVALUE diffuse;
    D3DCOLORVALUE ambient;
    D3DCOLORVALUE specular;
    D3DCOLORVALUE emissive;
    float power;
};

enum D3DLIGHTTYPE : uint32_t {
    D3DLIGHT_POINT = 1,
    D3DLIGHT_SPOT = 2,
    D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DLIGHT7 {
    uint32_t dltType;
    D3DCOLORVALUE dcvDiffuse;
    D3DCOLORVALUE dcvSpecular;
    D3DCOLORVALUE dcvAmbient;
    D3DVECTOR dvPosition;
    D3DVECTOR dvDirection;
    float dvRange;
    float dvFalloff;
    float dvAttenuation0;
    float dvAttenuation1;
    float dvAttenuation2;
    float dvTheta;
    float dvPhi;
};

struct D3DVIEWPORT7 {
    uint32_t dwX, dwY;
    uint32_t dwWidth, dwHeight;
    float dvMinZ, dvMaxZ;
};

enum D3DPRIMITIVETYPE : uint32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DTRANSFORMSTATETYPE : uint32_t {
    D3DTRANSFORMSTATE_WORLD = 1,
    D3DTRANSFORMSTATE_VIEW = 2,
    D3DTRANSFORMSTATE_PROJECTION = 3,
};

enum D3DRENDERSTATETYPE : uint32_t {
    D3DRENDERSTATE_ZENABLE = 7,
    D3DRENDERSTATE_FILLMODE = 8,
    D3DRENDERSTATE_ALPHATESTENABLE = 15,
    D3DRENDERSTATE_ALPHAREF = 24,
    D3DRENDERSTATE_ALPHAFUNC = 25,
    D3DRENDERSTATE_CULLMODE = 22,
    D3DRENDERSTATE_LIGHTING = 137,
    D3DRENDERSTATE_AMBIENT = 139,
};

constexpr uint32_t D3DZB_TRUE = 1;
constexpr uint32_t D3DFILL_WIREFRAME = 2;
constexpr uint32_t D3DFILL_SOLID = 3;
constexpr uint32_t D3DCMP_GREATER = 5;
constexpr uint32_t D3DCULL_NONE = 1;
constexpr uint32_t D3DCULL_CW = 2;
constexpr uint32_t D3DCULL_CCW = 3;

enum D3DTEXTURESTAGESTATETYPE : uint32_t {
    D3DTSS_MAGFILTER = 16,
    D3DTSS_MINFILTER = 17,
};
constexpr uint32_t D3DTFG_LINEAR = 2;
constexpr uint32_t D3DTFN_LINEAR = 2;

constexpr uint32_t D3DCLEAR_TARGET = 0x1;
constexpr uint32_t D3DCLEAR_ZBUFFER = 0x2;
