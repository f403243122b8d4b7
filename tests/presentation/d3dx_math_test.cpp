// The matrix toolkit against values worked out by hand. The convention is
// row vectors (v × M), so Multiply(a, b) applies a first.
#include "presentation/d3dx_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

D3DXVECTOR3 Transform(const D3DXVECTOR3& v, const D3DMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

void ExpectNear(const D3DXVECTOR3& actual, float x, float y, float z, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

TEST(MatrixToolkit, MultiplyAppliesTheLeftMatrixFirst) {
    D3DMATRIX move, scale;
    D3DXMatrixTranslation(&move, 10.0f, 0.0f, 0.0f);
    D3DXMatrixScaling(&scale, 2.0f, 3.0f, 4.0f);
    // Moved to (11, 1, 1), then scaled.
    ExpectNear(Transform({1.0f, 1.0f, 1.0f}, move * scale), 22.0f, 3.0f, 4.0f);
    // Scaled to (2, 3, 4), then moved.
    ExpectNear(Transform({1.0f, 1.0f, 1.0f}, scale * move), 12.0f, 3.0f, 4.0f);

    D3DMATRIX aliased = move;
    D3DXMatrixMultiply(&aliased, &aliased, &scale);
    EXPECT_EQ(aliased, move * scale);
}

TEST(MatrixToolkit, RotationAboutAnAxisIsRightHanded) {
    const float quarter = 3.1415927f / 2.0f;
    D3DMATRIX m;
    const D3DXVECTOR3 z{0.0f, 0.0f, 1.0f};
    D3DXMatrixRotationAxis(&m, &z, quarter);
    // About +z a positive angle turns x to y: counter-clockwise on a y-up screen.
    ExpectNear(Transform({1.0f, 0.0f, 0.0f}, m), 0.0f, 1.0f, 0.0f);
    ExpectNear(Transform({0.0f, 1.0f, 0.0f}, m), -1.0f, 0.0f, 0.0f);

    const D3DXVECTOR3 longZ{0.0f, 0.0f, 5.0f};  // the axis is normalised
    D3DMATRIX same;
    D3DXMatrixRotationAxis(&same, &longZ, quarter);
    ExpectNear(Transform({1.0f, 0.0f, 0.0f}, same), 0.0f, 1.0f, 0.0f);

    const D3DXVECTOR3 x{1.0f, 0.0f, 0.0f};
    D3DXMatrixRotationAxis(&m, &x, quarter);
    ExpectNear(Transform({0.0f, 1.0f, 0.0f}, m), 0.0f, 0.0f, 1.0f);
    const D3DXVECTOR3 y{0.0f, 1.0f, 0.0f};
    D3DXMatrixRotationAxis(&m, &y, quarter);
    ExpectNear(Transform({0.0f, 0.0f, 1.0f}, m), 1.0f, 0.0f, 0.0f);
}

TEST(MatrixToolkit, InverseUndoesAndRefusesSingularMatrices) {
    D3DMATRIX scale, move;
    D3DXMatrixScaling(&scale, 2.0f, 4.0f, 8.0f);
    D3DXMatrixTranslation(&move, 3.0f, -5.0f, 7.0f);
    const D3DMATRIX both = scale * move;
    D3DMATRIX inverse;
    float det = 0.0f;
    ASSERT_NE(D3DXMatrixInverse(&inverse, &det, &both), nullptr);
    EXPECT_FLOAT_EQ(det, 64.0f);
    // (2·1 + 3, 4·1 − 5, 8·1 + 7) = (5, −1, 15) goes back to (1, 1, 1).
    ExpectNear(Transform({5.0f, -1.0f, 15.0f}, inverse), 1.0f, 1.0f, 1.0f);

    D3DMATRIX flat;
    D3DXMatrixScaling(&flat, 1.0f, 1.0f, 0.0f);
    D3DMATRIX untouched = move;
    EXPECT_EQ(D3DXMatrixInverse(&untouched, &det, &flat), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(untouched, move);
}

TEST(MatrixToolkit, TheSceneCameraMapsTheLogicalCornersToTheClipCorners) {
    // Camera of a 1280×720 screen seen from 10 × 1280 = 12800 units away.
    const float dist = 12800.0f;
    D3DMATRIX view, projection;
    const D3DXVECTOR3 eye{0.0f, 0.0f, dist}, at{}, up{0.0f, 1.0f, 0.0f};
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    // Looking down −z from +z: the view is a plain move by −dist.
    D3DMATRIX expectedView;
    D3DXMatrixTranslation(&expectedView, 0.0f, 0.0f, -dist);
    EXPECT_EQ(view, expectedView);

    const float fovY = 2.0f * std::atan(360.0f / dist);
    D3DXMatrixPerspectiveFovRH(&projection, fovY, 16.0f / 9.0f, 0.0f, dist);
    // yScale = 1/tan(atan(360/12800)) = 12800/360; xScale = yScale · 9/16 = 20.
    EXPECT_NEAR(projection.m[1][1], 12800.0f / 360.0f, 1e-3f);
    EXPECT_NEAR(projection.m[0][0], 20.0f, 1e-4f);
    EXPECT_EQ(projection.m[2][2], -1.0f);
    EXPECT_EQ(projection.m[2][3], -1.0f);
    EXPECT_EQ(projection.m[3][2], 0.0f);  // near 0: zn·zf/(zn−zf)
    EXPECT_EQ(projection.m[3][3], 0.0f);

    const D3DMATRIX camera = view * projection;
    // (640, 360, 0) → view (640, 360, −12800) → clip (12800, 12800, 12800, w 12800).
    ExpectNear(Transform({640.0f, 360.0f, 0.0f}, camera), 1.0f, 1.0f, 1.0f, 1e-5f);
    ExpectNear(Transform({-640.0f, -360.0f, 0.0f}, camera), -1.0f, -1.0f, 1.0f, 1e-5f);
}

TEST(MatrixToolkit, HermiteFollowsItsBasisFunctions) {
    const D3DXVECTOR3 zero{};
    const D3DXVECTOR3 target{100.0f, 200.0f, -40.0f};
    D3DXVECTOR3 out;
    // At s = 0.25 with flat tangents: −2/64 + 3/16 = 0.15625 of the way.
    D3DXVec3Hermite(&out, &zero, &zero, &target, &zero, 0.25f);
    ExpectNear(out, 15.625f, 31.25f, -6.25f);

    // At s = 0.5: h1 = h3 = 0.5, h2 = 0.125, h4 = −0.125.
    const D3DXVECTOR3 v1{1.0f, 1.0f, 1.0f}, t1{8.0f, 0.0f, 0.0f}, v2{3.0f, 3.0f, 3.0f}, t2{0.0f, 8.0f, 0.0f};
    D3DXVec3Hermite(&out, &v1, &t1, &v2, &t2, 0.5f);
    ExpectNear(out, 3.0f, 1.0f, 2.0f);
    D3DXVec3Hermite(&out, &v1, &t1, &v2, &t2, 0.0f);
    ExpectNear(out, 1.0f, 1.0f, 1.0f);
    D3DXVec3Hermite(&out, &v1, &t1, &v2, &t2, 1.0f);
    ExpectNear(out, 3.0f, 3.0f, 3.0f);
}

}  // namespace
