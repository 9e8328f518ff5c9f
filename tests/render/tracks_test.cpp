// Vector helpers, sprite axes, position tracks, camera curves and their ease.
#include <gtest/gtest.h>

#include "render/tracks.h"

namespace {

using V = std::vector<float>;
V Of(Vector v) { return {v.x, v.y, v.z}; }

TEST(VecMath, CrossAndLengthsFromTinyToHuge) {
    EXPECT_EQ(Of(vecCross({2, 3, 4}, {5, 6, 7})), (V{3 * 7 - 4 * 6, 4 * 5 - 2 * 7, 2 * 6 - 3 * 5}));
    EXPECT_EQ(vecLength({3, 4, 12}), 13.0f);
    EXPECT_EQ(Of(vecNormalize({0, 0, 0})), (V{0, 0, 0}));
    EXPECT_EQ(Of(vecNormalize({3, 0, 4})), (V{0.6f, 0, 0.8f}));
    // Tiny vectors are still divided, though their squares underflow a
    // float; huge ones do not overflow.
    EXPECT_FLOAT_EQ(vecNormalize({1e-30f, 0, 0}).x, 1.0f);
    EXPECT_FLOAT_EQ(vecNormalize({3e30f, 4e30f, 0}).y, 0.8f);
}

TEST(BillboardBasis, AxesAreUnitPerpendicularWithRFlatAndNoneAlongY) {
    Vector eye{3, 4, -5}, target{1, -2, 0.5f}, r, u, d = vecSub(eye, target);
    ASSERT_TRUE(billboardBasis(eye, target, r, u));
    auto dot = [](Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    for (float v : {r.y, vecLength(r) - 1, vecLength(u) - 1, dot(r, u), dot(r, d) / 10, dot(u, d) / 10})
        EXPECT_NEAR(v, 0, 1e-6);
    ASSERT_TRUE(billboardBasis({0, 0, 2}, {0, 0, 0}, r, u));
    EXPECT_EQ(Of(r), (V{-1, 0, 0}));
    EXPECT_EQ(Of(u), (V{0, 1, 0}));
    r = u = Vector{9, 9, 9};
    for (Vector e : {Vector{0, 5, 0}, Vector{2, -5, 3}, Vector{2, 1, 3}})
        EXPECT_FALSE(billboardBasis(e, {e.x, 1, e.z}, r, u)) << e.y;
    EXPECT_EQ(Of(r), (V{9, 9, 9}));  // untouched
}

TEST(LinearTrack, InterpolatesHoldsTheEndsAndStaysInsideTheKeys) {
    const TrackKey two[2] = {{0, {0, 0, 0}}, {100, {10, 0, 0}}}, one[1] = {{7, {4, 5, 6}}};
    const TrackKey three[3] = {{10, {1, 2, 3}}, {20, {3, 2, 1}}, {40, {-1, 0, 5}}};
    const TrackKey far[2] = {{-2147483647 - 1, {0, 0, 0}}, {2147483647, {1, 0, 0}}};  // no overflow
    // Out of order several segments match 15: the last one (10..30) wins.
    const TrackKey shuffled[4] = {{0, {0, 0, 0}}, {20, {2, 0, 0}}, {10, {1, 0, 0}}, {30, {3, 0, 0}}};
    const struct {
        const TrackKey* keys;
        int32_t count;
        float t;
        V want;
    } cases[] = {
        {two, 2, 25, {2.5f, 0, 0}}, {two, 2, -5, {0, 0, 0}},   {two, 2, 100, {10, 0, 0}},  {two, 2, 1e9f, {10, 0, 0}},
        {three, 3, 15, {2, 2, 2}},  {three, 3, 30, {1, 1, 3}}, {three, 3, 20, {3, 2, 1}},  {one, 1, -100, {4, 5, 6}},
        {one, 1, 8, {4, 5, 6}},     {one, 1, NAN, {4, 5, 6}},  {nullptr, 0, 3, {0, 0, 0}}, {one, 0, 3, {0, 0, 0}},
        {far, 2, 0, {0.5f, 0, 0}},  {shuffled, 4, 15, {1.5f, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(Of(evalLinearTrack(c.keys, c.count, c.t)), c.want) << c.t;
}

TEST(CurveTrack, EaseIsASixthOfTheNeighboursSpanAndTheCurveUsesBothEaseVectors) {
    TrackKey k[4] = {{0, {0, 0, 0}}, {1, {6, 0, 0}}, {2, {6, 12, 0}}, {3, {0, 12, 6}}};
    Vector e[4];
    computeTrackEase(k, e, 4);  // one-sided at the ends
    EXPECT_EQ((std::vector<V>{Of(e[0]), Of(e[1]), Of(e[2]), Of(e[3])}),
              (std::vector<V>{{1, 0, 0}, {1, 2, 0}, {-1, 2, 1}, {-1, 0, 1}}));
    computeTrackEase(k, e, 1);  // fewer than two keys: none
    EXPECT_EQ(Of(e[0]), (V{0, 0, 0}));
    EXPECT_EQ(Of(evalCurveTrack(k + 1, e, 1, 100)), (V{6, 0, 0}));
    // u = 0.25: b = (27, 27, 9, 1) / 64; controls (1, 0, 0) and (4, 6, 0).
    TrackKey two[2] = {{0, {0, 0, 0}}, {4, {4, 8, 0}}};
    Vector e2[2] = {{1, 0, 0}, {0, 2, 0}}, v = evalCurveTrack(two, e2, 2, 1);
    EXPECT_FLOAT_EQ(v.x, (27 * 1 + 9 * 4 + 1 * 4) / 64.0f);
    EXPECT_FLOAT_EQ(v.y, (9 * 6 + 1 * 8) / 64.0f);
    EXPECT_FLOAT_EQ(evalCurveTrack(two, nullptr, 2, 2).x, 2.0f);  // without ease the controls sit on the keys
    Scene s{};  // the camera's two tracks; the curve passes every key and holds the ends
    TrackKey pos[3] = {{0, {0, 0, 0}}, {10, {6, 0, 0}}, {20, {12, 0, 0}}}, tgt[2] = {{0, {0, 0, 0}}, {10, {0, 6, 0}}};
    Vector pe[3], te[2];
    s.camposkeys = pos, s.camposkeycount = 3, s.camposease = pe;
    s.camtargetkeys = tgt, s.camtargetkeycount = 2, s.camtargetease = te;
    computeEase(s);
    EXPECT_EQ(Of(te[1]), (V{0, 1, 0}));
    const float t[] = {5, 15, 10, 0, -3, 20, 25}, x[] = {2.625f, 9.375f, 6, 0, 0, 12, 12};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Of(evalCurveTrack(pos, pe, 3, t[i])), (V{x[i], 0, 0})) << t[i];
}

}  // namespace
