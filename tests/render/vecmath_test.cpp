// Vector helpers and sprite axes.
#include <gtest/gtest.h>

#include <cmath>

#include "render/vecmath.h"

namespace {

void ExpectVec(Vector v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

float Dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

TEST(VecMath, ComponentOperations) {
    Vector a{1.5f, -2, 4}, b{0.25f, 8, -1};
    ExpectVec(vecAdd(a, b), 1.75f, 6, 3);
    ExpectVec(vecSub(a, b), 1.25f, -10, 5);
    ExpectVec(vecScale(a, -2), -3, 4, -8);
    ExpectVec(a, 1.5f, -2, 4);  // arguments stay as they were
    vecZero(a);
    ExpectVec(a, 0, 0, 0);
}

TEST(VecMath, CrossFollowsTheRightHand) {
    ExpectVec(vecCross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
    ExpectVec(vecCross({0, 1, 0}, {1, 0, 0}), 0, 0, -1);
    ExpectVec(vecCross({0, 0, 1}, {1, 0, 0}), 0, 1, 0);
    ExpectVec(vecCross({2, 3, 4}, {5, 6, 7}), 3 * 7 - 4 * 6, 4 * 5 - 2 * 7, 2 * 6 - 3 * 5);
}

TEST(VecMath, LengthAndNormalize) {
    EXPECT_EQ(vecLength({3, 4, 12}), 13.0f);
    ExpectVec(vecNormalize({0, 0, 0}), 0, 0, 0);
    ExpectVec(vecNormalize({3, 0, 4}), 0.6f, 0, 0.8f);
    // Tiny vectors are still divided, though their squares underflow a float.
    Vector t = vecNormalize({1e-30f, 0, 0});
    EXPECT_FLOAT_EQ(t.x, 1.0f);
    EXPECT_GT(vecLength({1e-30f, 1e-30f, 0}), 0.0f);
    Vector h = vecNormalize({3e30f, 4e30f, 0});  // and huge ones do not overflow
    EXPECT_FLOAT_EQ(h.x, 0.6f);
    EXPECT_FLOAT_EQ(h.y, 0.8f);
}

TEST(BillboardBasis, AxesAreUnitPerpendicularAndRLiesFlat) {
    Vector eye{3, 4, -5}, target{1, -2, 0.5f};
    Vector r, u;
    ASSERT_TRUE(billboardBasis(eye, target, r, u));
    Vector d = vecSub(eye, target);
    EXPECT_EQ(r.y, 0.0f);
    EXPECT_NEAR(vecLength(r), 1.0f, 1e-6);
    EXPECT_NEAR(vecLength(u), 1.0f, 1e-6);
    EXPECT_NEAR(Dot(r, u), 0.0f, 1e-6);
    EXPECT_NEAR(Dot(r, d), 0.0f, 1e-5);
    EXPECT_NEAR(Dot(u, d), 0.0f, 1e-5);
    // Looking along -Z from +Z... d = (0, 0, 2): R = (-1, 0, 0), U = (0, 1, 0).
    ASSERT_TRUE(billboardBasis({0, 0, 2}, {0, 0, 0}, r, u));
    ExpectVec(r, -1, 0, 0);
    ExpectVec(u, 0, 1, 0);
}

TEST(BillboardBasis, NoBasisStraightAboveOrBelowAlongY) {
    Vector r{9, 9, 9}, u{9, 9, 9};
    EXPECT_FALSE(billboardBasis({0, 5, 0}, {0, 1, 0}, r, u));
    EXPECT_FALSE(billboardBasis({2, -5, 3}, {2, 1, 3}, r, u));
    EXPECT_FALSE(billboardBasis({1, 1, 1}, {1, 1, 1}, r, u));
    ExpectVec(r, 9, 9, 9);  // untouched
}

}  // namespace
