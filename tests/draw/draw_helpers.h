// draw_helpers.h - what the renderer tests share: scenes built in code and
// the recording GL's trace.
#pragma once

#include <gtest/gtest.h>

#include "recgl/recgl.h"
#include "render/particles.h"
#include "render/scenedraw.h"
#include "render/settings.h"
#include "render/shadows.h"
#include "render/tracks.h"
#include "support/support.h"
#include "tools/scenebuild/scenebuild.h"

using Lines = std::vector<std::string>;
using Keys = std::vector<TrackKey>;

// Scenes of the scene builder with a 45 degree camera from `eye` to
// `target`, white unlit materials and objects that neither cull nor cast.
void InitScene(Scene& s, const char* name, Vector eye, Vector target);
void SetCameraTracks(Scene& s, const Keys& eye, const Keys& target);  // with their ease
int32_t AddMaterial(Scene& s);
int32_t AddMesh(Scene& s, int32_t material, const Mesh& mesh, Vector pivot = {0, 0, 0});
int32_t AddTriangle(Scene& s, int32_t material, Vector pivot = {0, 0, 0});  // (0,0,0), (1,0,0), (0,1,0)
// `flat`: sides with their own corners, normals and UVs; else 8 shared corners.
int32_t AddCube(Scene& s, int32_t material, Vector centre, float half, bool flat = false);
int32_t AddFloor(Scene& s, int32_t material, float x0, float y0, float x1, float y1, float z);  // facing +Z
// What a load works out: neighbours, face normals and centres, shadow buffers, maxpassno.
void FinishScene(Scene& s);

// Lines [from, to) written "a; b; c".
std::string Joined(const Lines& lines, size_t from = 0, size_t to = SIZE_MAX);
// The first line at or after `from` starting with `call` (a whole line is its
// own only prefix), -1 when none; how many lines start so.
int Find(const Lines& lines, const std::string& call, size_t from = 0);
int Count(const Lines& lines, const std::string& call);
// The last shininess set before each glDrawElements: tells objects apart.
std::vector<int> DrawnShines(const Lines& lines);
// "#xxxxxxxx": the recording GL's hash of index or pixel data.
std::string DataHash(const void* data, size_t bytes);
// Whether `got` is section `name` of traces.txt; else where they part.
testing::AssertionResult IsTrace(const Lines& got, const std::string& name);

// The renderer against the recording GL, camera from (0, -10, 0) to the origin.
struct DrawTrace : ::testing::Test {
    ThrowOnFailure throwing;
    Scene s{};
    void SetUp() override {
        RecglBind();
        wireOverlayEnabled = anisotropyEnabled = true;
        worldScale = 1.0f;
        glAnisotropyLimit = 0;  // whatever a real context set
        cameraEye = cameraTarget = Vector{0, 0, 0};
        InitScene(s, "trace", Vector{0, -10, 0}, Vector{0, 0, 0});
    }
    void TearDown() override {
        freeParticles(s);
        ReleaseScene(s);
        RecglUnbind();
        RecglReset();
    }
    Lines take() { return RecglTake(); }
    // A triangle whose own material's shininess names it.
    int32_t objectWithOwnMaterial(int32_t shine, Vector pivot = {0, 0, 0}) {
        int32_t m = AddMaterial(s);
        s.materials[m].shine = shine;
        return AddTriangle(s, m, pivot);
    }
    SceneObject& object(int32_t shine) {  // valid until the next object is added
        int32_t i = objectWithOwnMaterial(shine);
        return s.objects[i];
    }
    template <class T>
    T* block(size_t n) {
        return (T*)Base.BS_MemGet(n * sizeof(T), "test block");
    }
};
