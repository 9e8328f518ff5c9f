// Position tracks: straight lines, camera curves and their ease vectors.
#include <gtest/gtest.h>

#include <cmath>

#include "render/tracks.h"

namespace {

void ExpectVec(Vector v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST(LinearTrack, InterpolatesBetweenKeysAndHoldsTheEnds) {
    TrackKey k[2] = {{0, {0, 0, 0}}, {100, {10, 0, 0}}};
    ExpectVec(evalLinearTrack(k, 2, 25), 2.5f, 0, 0);
    ExpectVec(evalLinearTrack(k, 2, -5), 0, 0, 0);
    ExpectVec(evalLinearTrack(k, 2, 100), 10, 0, 0);
    ExpectVec(evalLinearTrack(k, 2, 1e9f), 10, 0, 0);
    TrackKey three[3] = {{10, {1, 2, 3}}, {20, {3, 2, 1}}, {40, {-1, 0, 5}}};
    ExpectVec(evalLinearTrack(three, 3, 15), 2, 2, 2);
    ExpectVec(evalLinearTrack(three, 3, 30), 1, 1, 3);
    // At an inner key: the segment starting there, u = 0.
    ExpectVec(evalLinearTrack(three, 3, 20), 3, 2, 1);
}

TEST(LinearTrack, OneKeyEverywhereAndNoKeysNoCrash) {
    TrackKey k[1] = {{7, {4, 5, 6}}};
    for (float t : {-100.0f, 7.0f, 8.0f, 1e6f}) ExpectVec(evalLinearTrack(k, 1, t), 4, 5, 6);
    ExpectVec(evalLinearTrack(nullptr, 0, 3), 0, 0, 0);
    ExpectVec(evalLinearTrack(k, 0, 3), 0, 0, 0);
    ExpectVec(evalLinearTrack(k, 1, NAN), 4, 5, 6);
}

TEST(LinearTrack, FramesFarApartDoNotOverflow) {
    TrackKey k[2] = {{-2147483647 - 1, {0, 0, 0}}, {2147483647, {1, 0, 0}}};
    Vector v = evalLinearTrack(k, 2, 0);
    EXPECT_NEAR(v.x, 0.5f, 1e-6);
}

TEST(LinearTrack, KeysOutOfOrderStayInsideTheTrack) {
    // Several segments match 15; the last one wins, and nothing reads
    // outside the keys.
    TrackKey k[4] = {{0, {0, 0, 0}}, {20, {2, 0, 0}}, {10, {1, 0, 0}}, {30, {3, 0, 0}}};
    ExpectVec(evalLinearTrack(k, 4, 15), 1.5f, 0, 0);  // segment 10..30
}

TEST(CurveTrack, EaseAndValueOfThreeEvenKeys) {
    Scene s{};
    TrackKey pos[3] = {{0, {0, 0, 0}}, {10, {6, 0, 0}}, {20, {12, 0, 0}}};
    TrackKey tgt[2] = {{0, {0, 0, 0}}, {10, {0, 6, 0}}};
    Vector pe[3], te[2];
    s.camposkeys = pos, s.camposkeycount = 3, s.camposease = pe;
    s.camtargetkeys = tgt, s.camtargetkeycount = 2, s.camtargetease = te;
    computeEase(s);
    ExpectVec(pe[0], 1, 0, 0);
    ExpectVec(pe[1], 2, 0, 0);
    ExpectVec(pe[2], 1, 0, 0);
    ExpectVec(te[0], 0, 1, 0);
    ExpectVec(te[1], 0, 1, 0);
    ExpectVec(evalCurveTrack(pos, pe, 3, 5), 2.625f, 0, 0);
    ExpectVec(evalCurveTrack(pos, pe, 3, 15), 9.375f, 0, 0);
    // The curve passes through every key and holds the ends.
    ExpectVec(evalCurveTrack(pos, pe, 3, 10), 6, 0, 0);
    ExpectVec(evalCurveTrack(pos, pe, 3, 0), 0, 0, 0);
    ExpectVec(evalCurveTrack(pos, pe, 3, -3), 0, 0, 0);
    ExpectVec(evalCurveTrack(pos, pe, 3, 20), 12, 0, 0);
    ExpectVec(evalCurveTrack(pos, pe, 3, 25), 12, 0, 0);
}

TEST(CurveTrack, BezierWeightsUseBothEaseVectors) {
    TrackKey k[2] = {{0, {0, 0, 0}}, {4, {4, 8, 0}}};
    Vector e[2] = {{1, 0, 0}, {0, 2, 0}};
    // u = 0.25: b = (27, 27, 9, 1) / 64. Control points (1,0,0), (4,6,0).
    Vector v = evalCurveTrack(k, e, 2, 1);
    EXPECT_FLOAT_EQ(v.x, (27 * 1 + 9 * 4 + 1 * 4) / 64.0f);
    EXPECT_FLOAT_EQ(v.y, (9 * 6 + 1 * 8) / 64.0f);
    EXPECT_EQ(v.z, 0.0f);
    // Without ease vectors the controls sit on the keys.
    Vector n = evalCurveTrack(k, nullptr, 2, 2);
    EXPECT_FLOAT_EQ(n.x, 2.0f);
}

TEST(CurveTrack, FewerThanTwoKeysGetZeroEase) {
    TrackKey k[1] = {{3, {1, 1, 1}}};
    Vector e[1] = {{9, 9, 9}};
    computeTrackEase(k, e, 1);
    ExpectVec(e[0], 0, 0, 0);
    ExpectVec(evalCurveTrack(k, e, 1, 100), 1, 1, 1);
}

TEST(CurveTrack, EndEaseIsOneSided) {
    TrackKey k[4] = {{0, {0, 0, 0}}, {1, {6, 0, 0}}, {2, {6, 12, 0}}, {3, {0, 12, 6}}};
    Vector e[4];
    computeTrackEase(k, e, 4);
    ExpectVec(e[0], 1, 0, 0);
    ExpectVec(e[1], 1, 2, 0);
    ExpectVec(e[2], -1, 2, 1);
    ExpectVec(e[3], -1, 0, 1);
}

}  // namespace
