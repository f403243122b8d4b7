#include "presentation/d3dx_math.h"

#include <cmath>

D3DMATRIX* D3DXMatrixIdentity(D3DMATRIX* out) {
    *out = D3DMATRIX{};
    for (int i = 0; i < 4; ++i) out->m[i][i] = 1.0f;
    return out;
}

bool D3DXMatrixIsIdentity(const D3DMATRIX* m) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (m->m[r][c] != (r == c ? 1.0f : 0.0f)) return false;
        }
    }
    return true;
}

D3DMATRIX* D3DXMatrixMultiply(D3DMATRIX* out, const D3DMATRIX* a, const D3DMATRIX* b) {
    D3DMATRIX result;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            result.m[r][c] = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c] +
                             a->m[r][3] * b->m[3][c];
        }
    }
    *out = result;
    return out;
}

namespace {

// Cofactor expansion in double: the scene only asks whether a matrix can be
// inverted at all, and an exactly singular float matrix (a zero scale) must
// come out with a determinant of exactly 0.
double Minor3(const double a[4][4], int skipRow, int skipCol) {
    double s[3][3];
    for (int r = 0, rr = 0; r < 4; ++r) {
        if (r == skipRow) continue;
        for (int c = 0, cc = 0; c < 4; ++c) {
            if (c == skipCol) continue;
            s[rr][cc++] = a[r][c];
        }
        ++rr;
    }
    return s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
           s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
           s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
}

void ToDouble(const D3DMATRIX* m, double a[4][4]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a[r][c] = m->m[r][c];
}

double Determinant(const double a[4][4]) {
    double det = 0.0;
    for (int c = 0; c < 4; ++c) {
        double cofactor = ((c & 1) ? -1.0 : 1.0) * Minor3(a, 0, c);
        det += a[0][c] * cofactor;
    }
    return det;
}

}  // namespace

float D3DXMatrixDeterminant(const D3DMATRIX* m) {
    double a[4][4];
    ToDouble(m, a);
    return static_cast<float>(Determinant(a));
}

D3DMATRIX* D3DXMatrixInverse(D3DMATRIX* out, float* determinant, const D3DMATRIX* m) {
    double a[4][4];
    ToDouble(m, a);
    double det = Determinant(a);
    if (determinant != nullptr) *determinant = static_cast<float>(det);
    if (det == 0.0 || !std::isfinite(det)) return nullptr;
    D3DMATRIX result;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            // The inverse is the transposed cofactor matrix over the determinant.
            double cofactor = (((r + c) & 1) ? -1.0 : 1.0) * Minor3(a, c, r);
            result.m[r][c] = static_cast<float>(cofactor / det);
        }
    }
    *out = result;
    return out;
}

D3DMATRIX* D3DXMatrixTranslation(D3DMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return out;
}

D3DMATRIX* D3DXMatrixScaling(D3DMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->m[0][0] = x;
    out->m[1][1] = y;
    out->m[2][2] = z;
    return out;
}

D3DMATRIX* D3DXMatrixRotationAxis(D3DMATRIX* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float t = 1.0f - c;
    D3DXMatrixIdentity(out);
    out->m[0][0] = t * v.x * v.x + c;
    out->m[0][1] = t * v.x * v.y + s * v.z;
    out->m[0][2] = t * v.x * v.z - s * v.y;
    out->m[1][0] = t * v.x * v.y - s * v.z;
    out->m[1][1] = t * v.y * v.y + c;
    out->m[1][2] = t * v.y * v.z + s * v.x;
    out->m[2][0] = t * v.x * v.z + s * v.y;
    out->m[2][1] = t * v.y * v.z - s * v.x;
    out->m[2][2] = t * v.z * v.z + c;
    return out;
}

D3DMATRIX* D3DXMatrixLookAtRH(D3DMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                              const D3DXVECTOR3* up) {
    D3DXVECTOR3 back{eye->x - at->x, eye->y - at->y, eye->z - at->z};
    D3DXVECTOR3 zaxis, xaxis, yaxis, side;
    D3DXVec3Normalize(&zaxis, &back);
    D3DXVec3Cross(&side, up, &zaxis);
    D3DXVec3Normalize(&xaxis, &side);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    D3DXMatrixIdentity(out);
    out->m[0][0] = xaxis.x;
    out->m[1][0] = xaxis.y;
    out->m[2][0] = xaxis.z;
    out->m[0][1] = yaxis.x;
    out->m[1][1] = yaxis.y;
    out->m[2][1] = yaxis.z;
    out->m[0][2] = zaxis.x;
    out->m[1][2] = zaxis.y;
    out->m[2][2] = zaxis.z;
    out->m[3][0] = -D3DXVec3Dot(&xaxis, eye);
    out->m[3][1] = -D3DXVec3Dot(&yaxis, eye);
    out->m[3][2] = -D3DXVec3Dot(&zaxis, eye);
    return out;
}

D3DMATRIX* D3DXMatrixPerspectiveFovRH(D3DMATRIX* out, float fovY, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    const float xScale = yScale / aspect;
    *out = D3DMATRIX{};
    out->m[0][0] = xScale;
    out->m[1][1] = yScale;
    out->m[2][2] = zFar / (zNear - zFar);
    out->m[2][3] = -1.0f;
    out->m[3][2] = zNear * zFar / (zNear - zFar);
    return out;
}

D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, float s) {
    const float s2 = s * s;
    const float s3 = s2 * s;
    const float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
    const float h2 = s3 - 2.0f * s2 + s;
    const float h3 = -2.0f * s3 + 3.0f * s2;
    const float h4 = s3 - s2;
    D3DXVECTOR3 r;
    r.x = h1 * v1->x + h2 * t1->x + h3 * v2->x + h4 * t2->x;
    r.y = h1 * v1->y + h2 * t1->y + h3 * v2->y + h4 * t2->y;
    r.z = h1 * v1->z + h2 * t1->z + h3 * v2->z + h4 * t2->z;
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DMATRIX* m) {
    const float x = v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0] + m->m[3][0];
    const float y = v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1] + m->m[3][1];
    const float z = v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2] + m->m[3][2];
    const float w = v->x * m->m[0][3] + v->y * m->m[1][3] + v->z * m->m[2][3] + m->m[3][3];
    *out = D3DXVECTOR3{x / w, y / w, z / w};
    return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    const float length = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    // A zero vector stays zero rather than turning into NaNs.
    if (length == 0.0f) {
        *out = D3DXVECTOR3{};
        return out;
    }
    *out = D3DXVECTOR3{v->x / length, v->y / length, v->z / length};
    return out;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    *out = D3DXVECTOR3{a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    return out;
}

float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DMATRIX operator*(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX m;
    D3DXMatrixMultiply(&m, &a, &b);
    return m;
}
