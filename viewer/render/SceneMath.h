// Material, light and projection set-up of the scene, and the rotation about
// the Y axis that turns the view and the light.
#pragma once

#include "viewer/platform/D3DTypes.h"
#include "viewer/platform/Result.h"

// Zeroed material with diffuse = ambient = (r, g, b, a).
void InitMaterial(D3DMATERIAL7& material, float r, float g, float b, float a);

// Zeroed light of `type` at/along (x, y, z) with diffuse = specular = (r, g, b, 0),
// the largest range and constant attenuation 1.
void InitLight(D3DLIGHT7& light, D3DLIGHTTYPE type, float x, float y, float z, float r, float g,
               float b);

// Left-handed perspective projection with clip z in [0, 1]; `aspect` is the
// viewport's height / width. E_INVALIDARG (matrix untouched) when the planes
// coincide or the field of view is (nearly) 0 or 2*pi.
HRESULT SetProjectionMatrix(D3DMATRIX& matrix, float fov, float aspect, float nearPlane,
                            float farPlane);

// Rotation about Y: rows (c, 0, -s, 0), (0, 1, 0, 0), (s, 0, c, 0), (0, 0, 0, 1).
D3DMATRIX RotationY(float angle);
