#pragma once
// The small matrix and vector toolkit the scene code is written against.
// Matrices are row-major and act on row vectors (v' = v × M), so
// Multiply(a, b) means "a first, then b": an object's own transform is
// multiplied before its parent's. Do not mix these with column-vector
// libraries, whose a * b means "b first".

#include "foundation/types.h"
#include "foundation/vector3.h"

struct D3DMATRIX {
    float m[4][4] = {};

    friend bool operator==(const D3DMATRIX&, const D3DMATRIX&) = default;
};
static_assert(sizeof(D3DMATRIX) == 64);

D3DMATRIX* D3DXMatrixIdentity(D3DMATRIX* out);
bool D3DXMatrixIsIdentity(const D3DMATRIX* m);
// out = a × b (a acts first on a row vector). `out` may alias either input.
D3DMATRIX* D3DXMatrixMultiply(D3DMATRIX* out, const D3DMATRIX* a, const D3DMATRIX* b);
// Null (and `out` untouched) when the determinant is exactly 0; `determinant`
// may be null.
D3DMATRIX* D3DXMatrixInverse(D3DMATRIX* out, float* determinant, const D3DMATRIX* m);
float D3DXMatrixDeterminant(const D3DMATRIX* m);
D3DMATRIX* D3DXMatrixTranslation(D3DMATRIX* out, float x, float y, float z);
D3DMATRIX* D3DXMatrixScaling(D3DMATRIX* out, float x, float y, float z);
// Right-handed turn by `angle` radians about `axis` (normalised here): with
// the axis (0, 0, 1) a positive angle turns x towards y.
D3DMATRIX* D3DXMatrixRotationAxis(D3DMATRIX* out, const D3DXVECTOR3* axis, float angle);
D3DMATRIX* D3DXMatrixLookAtRH(D3DMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                              const D3DXVECTOR3* up);
D3DMATRIX* D3DXMatrixPerspectiveFovRH(D3DMATRIX* out, float fovY, float aspect, float zNear, float zFar);

// (2s³−3s²+1)·v1 + (s³−2s²+s)·t1 + (−2s³+3s²)·v2 + (s³−s²)·t2
D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, float s);
// (x, y, z, 1) × m, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DMATRIX* m);
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);

// Value-returning forms for code that reads better that way.
D3DMATRIX IdentityMatrix();
D3DMATRIX operator*(const D3DMATRIX& a, const D3DMATRIX& b);
