// Geometry worked out after loading: normals, centres, the volume index and
// the neighbour search, checked against a direct transcription of the
// pairwise search on meshes with shared, split and non-manifold edges.
#include <gtest/gtest.h>

#include <random>

#include "scene/precalc.h"
#include "scene_helpers.h"
#include "support/support.h"

namespace {

// An object owning `faces` (as both numberings unless `orig` is given).
struct TestObject {
    SceneObject o{};
    explicit TestObject(const std::vector<Face>& faces, const std::vector<Face>& orig = {},
                        const std::vector<Vector>& verts = {}) {
        o.facecount = (int32_t)faces.size();
        o.faces = (Face*)Base.BS_MemGet(faces.size() * sizeof(Face), "test faces");
        o.origfaces = (Face*)Base.BS_MemGet(faces.size() * sizeof(Face), "test faces");
        for (size_t i = 0; i < faces.size(); ++i) {
            o.faces[i] = faces[i];
            o.origfaces[i] = orig.empty() ? faces[i] : orig[i];
        }
        o.vertexcount = (int32_t)verts.size();
        o.vertices = (Vector*)Base.BS_MemGet(verts.size() * sizeof(Vector), "test vertices");
        for (size_t i = 0; i < verts.size(); ++i) o.vertices[i] = verts[i];
    }
    ~TestObject() {
        Base.BS_MemFree((void**)&o.faces);
        Base.BS_MemFree((void**)&o.origfaces);
        Base.BS_MemFree((void**)&o.vertices);
        Base.BS_MemFree((void**)&o.neighbours);
        Base.BS_MemFree((void**)&o.lightvisible);
        Base.BS_MemFree((void**)&o.contour);
        Base.BS_MemFree((void**)&o.facecenters);
        Base.BS_MemFree((void**)&o.facenormals);
    }
    std::vector<int32_t> lists() const {
        std::vector<int32_t> out;
        for (int32_t f = 0; f < o.facecount; ++f)
            for (int e = 0; e < 3; ++e) out.push_back(o.neighbours[f].edge[e]);
        return out;
    }
};

// The pairwise search written out as the format describes it.
std::vector<int32_t> DirectNeighbours(SceneObject& o) {
    std::vector<FaceNeighbours> lists((size_t)o.facecount, FaceNeighbours{{-1, -1, -1}});
    FaceNeighbours* saved = o.neighbours;
    o.neighbours = lists.data();
    for (int32_t i = 0; i <= o.facecount - 2; ++i)
        for (int32_t j = i + 1; j <= o.facecount - 1; ++j)
            for (int32_t k = 0; k <= 2; ++k)
                if (Neighbour(o, i, k) == -1)
                    for (int32_t l = 0; l <= 2; ++l) {
                        int32_t p = FaceVertex(o, i, k), q = FaceVertex(o, i, (k + 1) % 3);
                        int32_t r = FaceVertex(o, j, l), s = FaceVertex(o, j, (l + 1) % 3);
                        if (std::min(p, q) == std::min(r, s) && std::max(p, q) == std::max(r, s)) {
                            SetNeighbour(o, i, k, j);
                            SetNeighbour(o, j, l, i);
                        }
                    }
    o.neighbours = saved;
    std::vector<int32_t> out;
    for (auto& n : lists)
        for (int e = 0; e < 3; ++e) out.push_back(n.edge[e]);
    return out;
}

TEST(Neighbours, AFaceAloneHasNoNeighbours) {
    TestObject t({{0, 1, 2}});
    FindNeighbours(t.o);
    EXPECT_EQ(t.lists(), (std::vector<int32_t>{-1, -1, -1}));
    TestObject none({});
    FindNeighbours(none.o);
    EXPECT_NE(none.o.neighbours, nullptr);
}

TEST(Neighbours, SharedEdgesInEitherCornerOrder) {
    // Opposite order: (0,1) against (1,0); same order: (1,2) against (1,2).
    TestObject t({{0, 1, 2}, {1, 0, 3}, {1, 2, 4}});
    FindNeighbours(t.o);
    EXPECT_EQ(t.lists(), (std::vector<int32_t>{1, 2, -1, 0, -1, -1, 0, -1, -1}));
    EXPECT_EQ(t.lists(), DirectNeighbours(t.o));
}

TEST(Neighbours, ThreeFacesOnOneEdge) {
    // Faces 0, 1, 2 share 0-1. Face 0 pairs with face 1, the first later
    // face with the edge; face 1's edge is then taken, so it does not look
    // further, and face 2 is left without a neighbour over it.
    TestObject t({{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
    FindNeighbours(t.o);
    EXPECT_EQ(t.lists(), DirectNeighbours(t.o));
    EXPECT_EQ(Neighbour(t.o, 0, 0), 1);
    EXPECT_EQ(Neighbour(t.o, 1, 0), 0);
    EXPECT_EQ(Neighbour(t.o, 2, 0), -1);
    // Four faces on 7-8: 1 pairs with 3, and 4 finds nobody, although 4
    // and 1 share the edge as well.
    TestObject four({{0, 1, 9}, {7, 8, 2}, {3, 0, 1}, {7, 8, 1}, {8, 7, 5}});
    FindNeighbours(four.o);
    EXPECT_EQ(four.lists(), DirectNeighbours(four.o));
    EXPECT_EQ(Neighbour(four.o, 1, 0), 3);
    EXPECT_EQ(Neighbour(four.o, 3, 0), 1);
    EXPECT_EQ(Neighbour(four.o, 4, 0), -1);
    // Face 0's 0-1 pairs with face 2, the first later face that has it.
    EXPECT_EQ(Neighbour(four.o, 0, 0), 2);
}

TEST(Neighbours, DegenerateFacesPairEveryMatchingEdge) {
    // Face 1 carries 0-1 twice (corners 0, 1, 0): both of its entries get
    // face 0, and face 0's next edges still look for their own partners.
    TestObject d({{0, 1, 2}, {0, 1, 0}, {2, 1, 5}});
    FindNeighbours(d.o);
    EXPECT_EQ(d.lists(), DirectNeighbours(d.o));
    EXPECT_EQ(Neighbour(d.o, 0, 0), 1);
    EXPECT_EQ(Neighbour(d.o, 1, 0), 0);
    EXPECT_EQ(Neighbour(d.o, 1, 1), 0);
    EXPECT_EQ(Neighbour(d.o, 1, 2), -1);  // the edge 0-0
    EXPECT_EQ(Neighbour(d.o, 0, 1), 2);
    // A face whose own two edges coincide is never its own neighbour; a
    // later face pairs both of them.
    TestObject u({{1, 0, 1}, {0, 1, 8}});
    FindNeighbours(u.o);
    EXPECT_EQ(u.lists(), DirectNeighbours(u.o));
    EXPECT_EQ(u.lists(), (std::vector<int32_t>{1, 1, -1, 0, -1, -1}));
}

TEST(Neighbours, OriginalNumberingJoinsSplitFaces) {
    // In `faces` the two triangles share no vertex (split for their UVs);
    // in `origfaces` they share the edge 1-2.
    TestObject t({{0, 1, 2}, {3, 4, 5}}, {{0, 1, 2}, {2, 1, 6}});
    FindNeighbours(t.o);
    EXPECT_EQ(Neighbour(t.o, 0, 1), 1);
    EXPECT_EQ(Neighbour(t.o, 1, 0), 0);
    // And triangles sharing in `faces` but not in `origfaces` are not.
    TestObject u({{0, 1, 2}, {2, 1, 3}}, {{0, 1, 2}, {7, 8, 9}});
    FindNeighbours(u.o);
    EXPECT_EQ(u.lists(), (std::vector<int32_t>(6, -1)));
}

// Random meshes: small vertex ranges so that edges are shared by two,
// three or more faces, some faces degenerate, some split.
TEST(Neighbours, EdgeHashMatchesThePairwiseSearchOnRandomMeshes) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 400; ++round) {
        int faces = 1 + (int)(rng() % 60);
        int range = 3 + (int)(rng() % (round % 3 == 0 ? 6 : 40));
        std::vector<Face> f(faces), orig(faces);
        for (int i = 0; i < faces; ++i) {
            auto pick = [&] { return (int32_t)(rng() % (unsigned)range) - (round % 7 == 0 ? range / 2 : 0); };
            orig[i] = Face{pick(), pick(), pick()};
            // Split copies in `faces`: what the adjacency must not look at.
            f[i] = Face{3 * i, 3 * i + 1, 3 * i + 2};
        }
        TestObject t(f, orig);
        FindNeighbours(t.o);
        ASSERT_EQ(t.lists(), DirectNeighbours(t.o)) << "round " << round;
    }
}

TEST(Neighbours, EdgeHashMatchesOnAClosedGrid) {
    // A torus-like grid: every edge shared by exactly two faces.
    const int n = 12;
    std::vector<Face> f;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            int a = y * n + x, b = y * n + (x + 1) % n, c = ((y + 1) % n) * n + x, d = ((y + 1) % n) * n + (x + 1) % n;
            f.push_back(Face{a, b, d});
            f.push_back(Face{a, d, c});
        }
    TestObject t(f);
    FindNeighbours(t.o);
    std::vector<int32_t> l = t.lists();
    EXPECT_EQ(l, DirectNeighbours(t.o));
    for (int32_t v : l) EXPECT_GE(v, 0);
}

TEST(Geometry, NormalsPointToTheBackOfCounterClockwiseFaces) {
    std::vector<Vector> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {2, 0, 0}};
    // Face 0 runs counter-clockwise seen from +Z; face 1 is degenerate.
    TestObject t({{0, 1, 2}, {3, 3, 3}, {0, 4, 1}}, {}, v);
    PrepareObjectGeometry(t.o);
    EXPECT_EQ(t.o.facenormals[0].x, 0.0f);
    EXPECT_EQ(t.o.facenormals[0].y, 0.0f);
    EXPECT_EQ(t.o.facenormals[0].z, -1.0f);
    EXPECT_EQ(t.o.facenormals[1].x, 0.0f);
    EXPECT_EQ(t.o.facenormals[1].z, 0.0f);
    EXPECT_EQ(t.o.facenormals[2].z, 0.0f);  // collinear corners
    EXPECT_FLOAT_EQ(t.o.facecenters[0].x, 1.0f / 3);
    EXPECT_FLOAT_EQ(t.o.facecenters[0].y, 1.0f / 3);
    EXPECT_EQ(t.o.facecenters[1].z, 5.0f);
    EXPECT_EQ(LabelBytes(" lightvisible calc "), 3u);
    EXPECT_EQ(LabelBytes(" contour calc "), 9u);
}

TEST(Geometry, CentresSumInCornerOrderThenDivide) {
    // 1e8 + 1 - 1e8 in float: summed a, b, c gives 0, not 1.
    std::vector<Vector> v = {{1e8f, 0, 0}, {1, 0, 0}, {-1e8f, 0, 0}};
    TestObject t({{0, 1, 2}}, {}, v);
    PrepareObjectGeometry(t.o);
    EXPECT_EQ(t.o.facecenters[0].x, 0.0f);
}

TEST(Geometry, VolumeIndexPairsEachQuadsCorners) {
    Scene s{};
    SceneObject objs[2] = {};
    objs[0].facecount = 2;
    objs[1].facecount = 3;
    s.objects = objs;
    s.objectcount = 2;
    PrepareVolumes(s);
    const int T = 5;
    EXPECT_EQ(LabelBytes(" volume array "), (size_t)(12 * T * 12));
    EXPECT_EQ(LabelBytes(" volume array index"), (size_t)(6 * T * 12));
    for (int q = 0; q < 3 * T; ++q) {
        const Face& a = s.volumeindex[2 * q];
        const Face& b = s.volumeindex[2 * q + 1];
        ASSERT_EQ(a.a, 4 * q);
        ASSERT_EQ(a.b, 4 * q + 1);
        ASSERT_EQ(a.c, 4 * q + 2);
        ASSERT_EQ(b.a, 4 * q + 2);
        ASSERT_EQ(b.b, 4 * q + 3);
        ASSERT_EQ(b.c, 4 * q);
    }
    EXPECT_EQ(s.volumeindex[6 * T - 1].a, 12 * T - 2);
    EXPECT_EQ(s.volumeindex[6 * T - 1].c, 12 * T - 4);
    Base.BS_MemFree((void**)&s.volumearray);
    Base.BS_MemFree((void**)&s.volumeindex);
    Scene empty{};
    PrepareVolumes(empty);
    EXPECT_NE(empty.volumeindex, nullptr);
    EXPECT_EQ(LabelBytes(" volume array index"), 0u);
    Base.BS_MemFree((void**)&empty.volumearray);
    Base.BS_MemFree((void**)&empty.volumeindex);
}

TEST(Geometry, FaceAccessWrapsCornersAndEdges) {
    TestObject t({{4, 5, 6}, {7, 8, 9}}, {{1, 2, 3}, {10, 11, 12}});
    EXPECT_EQ(FaceVertex(t.o, 1, 0), 10);
    EXPECT_EQ(FaceVertex(t.o, 1, 5), 12);
    EXPECT_EQ(DrawFaceVertex(t.o, 0, 4), 5);
    FindNeighbours(t.o);
    SetNeighbour(t.o, 1, 4, 0);
    EXPECT_EQ(Neighbour(t.o, 1, 1), 0);
    EXPECT_EQ(t.o.neighbours[1].edge[1], 0);
}

TEST(ReleaseScene, GivesBackEveryBlockOnceAndTwiceIsHarmless) {
    size_t before = LiveBlocks();
    Scene a;
    MakeRichScene(a);
    Scene b{};
    LoadBytes(b, SaveSceneData(a));
    ReleaseScene(a);
    ReleaseScene(b);
    EXPECT_EQ(LiveBlocks(), before);
    ReleaseScene(b);  // everything is null now
    EXPECT_EQ(b.objects, nullptr);
    EXPECT_EQ(b.volumeindex, nullptr);
    EXPECT_EQ(LiveBlocks(), before);
}

}  // namespace
