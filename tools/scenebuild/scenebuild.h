// scenebuild.h - scenes made in code, written with the program's own saver.
//
// Used by the content tools and the tests: every scene made here is one the
// loader reads. A mesh is made first (box, sphere, ...), then placed in the
// scene as an object with a material; camera, lights, tracks and particle
// emitters are added the same way. sbFinish works out what the file carries
// beside the mesh (the second face numbering and the neighbour lists).
//
//   Scene s;
//   sbBegin(s, "demo");
//   int32_t stone = sbMaterial(s, "stone", "stone.tga");
//   int32_t box = sbObject(s, "box", stone, meshBox({2, 2, 2}));
//   sbCamera(s, {{0, {10, 0, 3}}, {100, {0, 10, 3}}}, {{0, {0, 0, 0}}});
//   sbLight(s, 0, "sun", {5, 5, 10});
//   sbFinish(s);
//   std::string bytes = SaveSceneData(s);
//   ReleaseScene(s);
#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"

struct Mesh {
    std::vector<Vector> vertices;
    std::vector<Vector> normals;  // one per vertex, or empty
    std::vector<TexCoord> uvs;    // one per vertex, or empty
    std::vector<Face> faces;      // counter-clockwise seen from the front
    std::vector<Vector> colors = {};  // red, green, blue: one per vertex, or empty
};

// Meshes centred on the origin, Z up.
Mesh meshBox(Vector size);
Mesh meshPlane(float width, float depth, int divisions = 1);  // in the X-Y plane, facing +Z
Mesh meshSphere(float radius, int segments, int rings);
Mesh meshCylinder(float radius, float height, int segments, bool caps = true);
Mesh meshTorus(float major, float minor, int segments, int sides);
// A profile of (radius, z) points turned about the Z axis.
Mesh meshLathe(const std::vector<std::pair<float, float>>& profile, int segments);
// A tube of `radius` along a path of points.
Mesh meshSweep(const std::vector<Vector>& path, float radius, int sides);
// Text in a TrueType or OpenType font (`fontData`: the file's bytes), em
// `size` units high, in the X-Y plane facing +Z and extruded `depth` along Z,
// centred on the origin; curves in `curveSteps` straight pieces. The mesh is
// closed: front and back caps share their corners with the side walls.
// Empty, with the reason in `why`, for a font FreeType cannot read or a text
// without outline.
Mesh meshText(const std::string& fontData, const char* text, float size, float depth, int curveSteps = 4,
              std::string* why = nullptr);
// `b` appended to `a`, moved by `offset`.
Mesh meshMerge(const Mesh& a, const Mesh& b, Vector offset = {0, 0, 0});
Mesh meshMove(const Mesh& m, Vector offset, Vector scale = {1, 1, 1});

// A cleared scene, version 1.2, a 60 degree camera, eight unnamed lights off.
// Materials and objects are added to a scene begun here (their arrays grow
// with room to spare).
void sbBegin(Scene& s, const char* name);

// A material: textured when `texture` is not empty; lit, white, opaque.
int32_t sbMaterial(Scene& s, const char* name, const char* texture = "");
Material& sbMat(Scene& s, int32_t index);

// An object drawn as a triangle list, visible, culling back faces.
int32_t sbObject(Scene& s, const char* name, int32_t material, const Mesh& mesh);
SceneObject& sbObj(Scene& s, int32_t index);

// Position keys of an object (linear), of the camera (curved).
void sbObjectTrack(Scene& s, int32_t object, const std::vector<TrackKey>& keys);
// Rotation and scale keys of an object: the file carries them, nothing
// evaluates them (objects keep a fixed orientation).
void sbObjectTurnKeys(Scene& s, int32_t object, const std::vector<RotationKey>& rotation,
                      const std::vector<TrackKey>& scale);
void sbCamera(Scene& s, const std::vector<TrackKey>& position, const std::vector<TrackKey>& target);

// Light `index` (0..7), enabled, at `pos`, optionally on a track.
void sbLight(Scene& s, int32_t index, const char* name, Vector pos, Vector diffuse = {1, 1, 1},
             Vector ambient = {0.1f, 0.1f, 0.1f}, Vector specular = {1, 1, 1},
             const std::vector<TrackKey>& keys = {});

// Makes an object a particle emitter.
struct EmitterSettings {
    const char* texture;
    int32_t newparticle = 4;
    float power = 40, deltapower = 1, size = 0.5f;
    Vector deltavector{0, 0, 0.1f}, deltavectorspread{0.1f, 0.1f, 0.05f};
    Vector color{1, 0.6f, 0.2f}, colorspread{0.2f, 0.2f, 0.2f};
    uint8_t colorattrib = 1;
};
void sbEmitter(Scene& s, int32_t object, const EmitterSettings& e);

// The second face numbering (same as the first), the neighbour lists and the
// pass count: after this the scene can be saved.
void sbFinish(Scene& s);
