#include "utility/Matrix.h"

#include <gtest/gtest.h>

namespace
{
void ExpectMatrixNear(const float* a, const float* b)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-5f) << "element " << i;
}
} // namespace

TEST(Matrix, InverseTimesMatrixIsIdentity)
{
    // A rotation, scale and translation in column order, needing row swaps.
    const float m[16] = {0, 2, 0, 0, -3, 0, 0, 0, 0, 0, 0.5f, 0, 4, -1, 7, 1};
    float inverse[16];
    ASSERT_TRUE(invertMatrix(m, inverse));
    float product[16];
    multiplyMatrices(m, inverse, product);
    float identity[16];
    makeIdentity(identity);
    ExpectMatrixNear(product, identity);

    float inPlace[16];
    std::copy(m, m + 16, inPlace);
    ASSERT_TRUE(invertMatrix(inPlace, inPlace));
    ExpectMatrixNear(inPlace, inverse);
}

TEST(Matrix, SingularMatrixIsRejected)
{
    const float m[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0};
    float out[16];
    EXPECT_FALSE(invertMatrix(m, out));
}

TEST(Matrix, UnprojectInvertsProjection)
{
    // Orthographic-like projection x model-view: scale then translate.
    const float pm[16] = {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, -0.1f, 0, 0.2f, -0.3f, 0.05f, 1};
    const int viewport[4] = {10, 20, 200, 100};
    const float point[4] = {1.0f, -2.0f, 3.0f, 1.0f};
    float clip[4];
    multiplyMatrixVector(pm, point, clip);
    const float wx = viewport[0] + (clip[0] / clip[3] + 1) * 0.5f * viewport[2];
    const float wy = viewport[1] + (clip[1] / clip[3] + 1) * 0.5f * viewport[3];
    const float wz = (clip[2] / clip[3] + 1) * 0.5f;

    float inverse[16];
    ASSERT_TRUE(invertMatrix(pm, inverse));
    float x, y, z;
    ASSERT_TRUE(unprojectPoint(wx, wy, wz, inverse, viewport, &x, &y, &z));
    EXPECT_NEAR(x, 1.0f, 1e-4f);
    EXPECT_NEAR(y, -2.0f, 1e-4f);
    EXPECT_NEAR(z, 3.0f, 1e-4f);

    float identity[16];
    makeIdentity(identity);
    ASSERT_TRUE(unprojectPoint(110, 70, 0.5f, identity, viewport, &x, &y, &z));
    EXPECT_FLOAT_EQ(x, 0);
    EXPECT_FLOAT_EQ(y, 0);
    EXPECT_FLOAT_EQ(z, 0);

    const float noW[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_FALSE(unprojectPoint(110, 70, 0.5f, noW, viewport, &x, &y, &z));
}
