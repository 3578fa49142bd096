#include "viewer/render/SceneMath.h"

#include <cmath>
#include <cstring>
#include <limits>

void InitMaterial(D3DMATERIAL7& material, float r, float g, float b, float a) {
    std::memset(&material, 0, sizeof material);
    material.diffuse = {r, g, b, a};
    material.ambient = {r, g, b, a};
}

void InitLight(D3DLIGHT7& light, D3DLIGHTTYPE type, float x, float y, float z, float r, float g,
               float b) {
    std::memset(&light, 0, sizeof light);
    light.dltType = type;
    light.dcvDiffuse = {r, g, b, 0.0f};
    light.dcvSpecular = light.dcvDiffuse;
    light.dvPosition = {x, y, z};
    light.dvDirection = {x, y, z};
    light.dvRange = std::sqrt(std::numeric_limits<float>::max());
    light.dvAttenuation0 = 1.0f;
}

HRESULT SetProjectionMatrix(D3DMATRIX& matrix, float fov, float aspect, float nearPlane,
                            float farPlane) {
    const float depth = farPlane - nearPlane;
    if (!(std::fabs(depth) >= 0.01f)) return E_INVALIDARG;
    const float half = fov * 0.5f;
    const float s = std::sin(half);
    if (!(std::fabs(s) >= 0.01f)) return E_INVALIDARG;
    const float q = farPlane / depth;
    const float c = std::cos(half) / s;
    std::memset(&matrix, 0, sizeof matrix);
    matrix[0] = aspect * c;
    matrix[5] = c;
    matrix[10] = q;
    matrix[11] = 1.0f;
    matrix[14] = -q * nearPlane;
    return S_OK;
}

D3DMATRIX RotationY(float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    D3DMATRIX m = IdentityMatrix();
    m[0] = c;
    m[2] = -s;
    m[8] = s;
    m[10] = c;
    return m;
}
