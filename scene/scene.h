// scene.h - the scene model: one animated 3D set as the show plays it.
//
// The scene unit owns the records below, the scene file (scenefile.h: loader,
// saver, texture set-up, the zlib wrappers) and the geometry worked out after
// loading (precalc.h). Records are plain data; every variable-length array
// hangs off them as a labelled block of the Base module's memory, and a Scene
// owns every block reachable from it (ReleaseScene gives them back).
//
// Each record is written once as a field list (X-macro) in field order; the
// structures, the velmar dump and the tests' comparisons all come from it.
//   F(type, name)         a value field
//   A(type, name, count)  an owned array of `count` elements (count reads `r`)
//   W(type, name, count)  a scratch array the renderer rewrites every frame
#pragma once

#include <cstdint>

#include "../frame/shortstring.h"
#include "../render/vecmath.h"

struct TrackKey {
    int32_t frame;
    Vector point;
};

// Quaternion components as the file carries them; nothing evaluates them.
struct RotationKey {
    int32_t frame;
    float quat[4];
};

// Zero-based vertex indices of one triangle.
struct Face {
    int32_t a, b, c;
};

// Neighbouring face over edge 0 (a-b), 1 (b-c), 2 (c-a); -1 for none.
struct FaceNeighbours {
    int32_t edge[3];
};

struct TexCoord {
    float u, v;
};

// Silhouette flags of one face, one per edge (written by the shadow pass).
struct ContourFlags {
    uint8_t edge[3];
};

typedef float Matrix16[16];
typedef float Color4[4];  // red, green, blue, alpha

struct Particle;  // one slot of a scene's particle pool (render/)

#define MATERIAL_FIELDS(F, A, W)   \
    F(ShortString, name)           \
    F(ShortString, texturename)    \
    F(float, transparency)         \
    F(uint32_t, glname)            \
    F(float, utile)                \
    F(float, vtile)                \
    F(uint8_t, depth)              \
    F(bool, textured)              \
    F(Vector, ambient)             \
    F(Vector, diffuse)             \
    F(Vector, specular)            \
    F(int32_t, shine)              \
    F(ShortString, envmaptexture)  \
    F(bool, envmap)                \
    F(uint32_t, envmapglname)      \
    F(int32_t, magtype)            \
    F(bool, receivelight)          \
    F(float, alphatest)            \
    F(uint8_t, depthtest)          \
    F(uint8_t, blend)              \
    F(uint8_t, texturewrap)        \
    F(float, constantalpha)        \
    F(float, flaresize)            \
    F(uint8_t, depthfunc)          \
    F(Vector, envmapcolor)         \
    F(float, envmapalpha)          \
    F(bool, envmapblend)

#define SCENE_OBJECT_FIELDS(F, A, W)                 \
    F(uint8_t, rendermode)                           \
    F(bool, hasnormals)                              \
    F(bool, hasuv)                                   \
    F(bool, hascolors)                               \
    F(bool, visible)                                 \
    F(ShortString, name)                             \
    F(int32_t, vertexcount)                          \
    F(int32_t, facecount)                            \
    F(int32_t, material)                             \
    F(int32_t, poskeycount)                          \
    F(int32_t, rotkeycount)                          \
    F(int32_t, scalekeycount)                        \
    F(int32_t, striplength)                          \
    F(bool, backfacecull)                            \
    F(int32_t, passno)                               \
    F(uint8_t, cullmode)                             \
    F(Matrix16, matrix)                              \
    F(Vector, pivot)                                 \
    F(Vector, flarecolor)                            \
    F(bool, particleenabled)                         \
    F(Vector, deltavector)                           \
    F(Vector, deltavectorspread)                     \
    F(Vector, color)                                 \
    F(Vector, colorspread)                           \
    F(uint8_t, colorattrib)                          \
    F(float, power)                                  \
    F(float, deltapower)                             \
    F(int32_t, newparticle)                          \
    F(ShortString, particletexture)                  \
    F(uint32_t, particleglname)                      \
    F(float, size)                                   \
    F(uint8_t, wireframe)                            \
    F(uint8_t, spareflag)                            \
    F(Vector, rotation)                              \
    F(Vector, texturescroll)                         \
    A(uint16_t, strip, r.striplength)                \
    A(Face, faces, r.facecount)                      \
    A(Face, origfaces, r.facecount)                  \
    A(Vector, vertices, r.vertexcount)               \
    A(Vector, colors, r.vertexcount)                 \
    A(TexCoord, uvs, r.vertexcount)                  \
    A(Vector, normals, r.vertexcount)                \
    A(Vector, facenormals, r.facecount)              \
    A(TrackKey, poskeys, r.poskeycount)              \
    A(RotationKey, rotkeys, r.rotkeycount)           \
    A(TrackKey, scalekeys, r.scalekeycount)          \
    A(FaceNeighbours, neighbours, r.facecount)       \
    W(uint8_t, lightvisible, r.facecount)            \
    W(ContourFlags, contour, r.facecount)            \
    A(Vector, facecenters, r.facecount)              \
    F(bool, castshadow)                              \
    F(bool, scalematerial)                           \
    F(bool, fog)                                     \
    F(uint8_t, fogmode)                              \
    F(Vector, fogparams)                             \
    F(Color4, fogcolor)

#define SCENE_LIGHT_FIELDS(F, A, W)  \
    F(ShortString, name)             \
    F(Vector, pos)                   \
    F(int32_t, poskeycount)          \
    F(Vector, ambient)               \
    F(Vector, diffuse)               \
    F(Vector, specular)              \
    F(bool, enabled)                 \
    A(TrackKey, poskeys, r.poskeycount)

#define SCENE_FIELDS(F, A, W)                           \
    F(int32_t, chunkcount)                              \
    F(uint8_t, versionmajor)                            \
    F(uint8_t, versionminor)                            \
    F(ShortString, name)                                \
    F(int32_t, sceneparam)                              \
    F(int32_t, materialcount)                           \
    F(int32_t, objectcount)                             \
    F(int32_t, maxpassno)                               \
    F(float, camerafov)                                 \
    F(float, cameranear)                                \
    F(float, camerafar)                                 \
    F(int32_t, camposkeycount)                          \
    F(int32_t, camtargetkeycount)                       \
    F(int32_t, shadowquadcount)                         \
    A(Material, materials, r.materialcount)             \
    A(SceneObject, objects, r.objectcount)              \
    A(TrackKey, camposkeys, r.camposkeycount)           \
    A(TrackKey, camtargetkeys, r.camtargetkeycount)     \
    A(Vector, camposease, r.camposkeycount)             \
    A(Vector, camtargetease, r.camtargetkeycount)       \
    W(Vector, volumearray, 12 * SceneFaceTotal(r))      \
    A(Face, volumeindex, 6 * SceneFaceTotal(r))         \
    W(Particle, particles, r.particlecount)             \
    F(SceneLightSet, lights)                            \
    F(int32_t, particlecount)                           \
    F(float, viewdistance)                              \
    F(float, shadowlength)                              \
    F(float, materialscale)

#define SCENE_DECLARE_FIELD(type, name) type name;
#define SCENE_DECLARE_ARRAY(type, name, count) type* name;

struct Material {
    MATERIAL_FIELDS(SCENE_DECLARE_FIELD, SCENE_DECLARE_ARRAY, SCENE_DECLARE_ARRAY)
};

struct SceneObject {
    SCENE_OBJECT_FIELDS(SCENE_DECLARE_FIELD, SCENE_DECLARE_ARRAY, SCENE_DECLARE_ARRAY)
};

struct SceneLight {
    SCENE_LIGHT_FIELDS(SCENE_DECLARE_FIELD, SCENE_DECLARE_ARRAY, SCENE_DECLARE_ARRAY)
};

const int SceneLightCount = 8;
typedef SceneLight SceneLightSet[SceneLightCount];

struct Scene {
    SCENE_FIELDS(SCENE_DECLARE_FIELD, SCENE_DECLARE_ARRAY, SCENE_DECLARE_ARRAY)
};

#undef SCENE_DECLARE_FIELD
#undef SCENE_DECLARE_ARRAY

// The sum of all objects' facecount: the shadow buffers hold 3 quads per face.
int64_t SceneFaceTotal(const Scene& r);

// Gives back every block of the scene (the particle pool excepted, which
// belongs to the particle code). Safe on a partly loaded scene: a block that
// is not there is skipped, and every pointer it frees becomes null.
void ReleaseScene(Scene& scene);

// Face access for the adjacency search and the shadow code. Corner and edge
// numbers are taken mod 3; callers pass non-negative numbers.
inline int32_t FaceCorner(const Face& f, int32_t corner) {
    switch (corner % 3) {
    case 0: return f.a;
    case 1: return f.b;
    default: return f.c;
    }
}
// Corner of face number `face` in `origfaces`.
inline int32_t FaceVertex(const SceneObject& o, int32_t face, int32_t corner) {
    return FaceCorner(o.origfaces[face], corner);
}
// Corner of face number `face` in `faces`.
inline int32_t DrawFaceVertex(const SceneObject& o, int32_t face, int32_t corner) {
    return FaceCorner(o.faces[face], corner);
}
inline int32_t Neighbour(const SceneObject& o, int32_t face, int32_t edge) {
    return o.neighbours[face].edge[edge % 3];
}
inline void SetNeighbour(SceneObject& o, int32_t face, int32_t edge, int32_t other) {
    o.neighbours[face].edge[edge % 3] = other;
}
