#include "viewer/platform/D3DTypes.h"

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}
