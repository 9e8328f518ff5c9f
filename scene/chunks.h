// chunks.h - the scene file's chunk tables, written once.
//
// Every chunk carries one field or one array of one record. The lists name,
// in the order the saver writes them, the chunk kind, the element type the
// saver writes, the target field and how it is stored:
//   V(Record, kind, type, field, packed)                 a value, count 1
//   A(Record, kind, type, field, count, when, tail)      an array of `count`
//   L(Record, kind, type, field)                         read, never written
// `when` says when the saver writes an array; `tail` ends its memory label.
// The loader's kind table and the saver's chunk order are both made from
// these lists (scenefile.cpp).
#pragma once

#include <cstdint>

// Element type -> bytes per element.
#define VLM_ELEMENT_TYPES(X) \
    X(0, 1)                  \
    X(1, 1)                  \
    X(2, 2)                  \
    X(3, 4)                  \
    X(4, 4)                  \
    X(5, 8)                  \
    X(6, 12)                 \
    X(7, 16)                 \
    X(8, 256)                \
    X(9, 12)                 \
    X(10, 16)                \
    X(11, 20)                \
    X(12, 64)                \
    X(13, 1)

const int VlmElementTypeCount = 14;

#define VLM_SIZE_ENTRY(type, bytes) bytes,
constexpr int32_t VlmElementSize[VlmElementTypeCount] = {VLM_ELEMENT_TYPES(VLM_SIZE_ENTRY)};
#undef VLM_SIZE_ENTRY

// When the saver writes an array chunk.
enum VlmWhen : uint8_t {
    WhenAlways,   // always (count may be 0)
    WhenColors,   // the object's hascolors
    WhenUV,       // hasuv
    WhenNormals,  // hasnormals
    WhenKeys,     // its count is above 0
};

#define VLM_SCENE_CHUNKS(V, A, L)        \
    V(Scene, 87, 3, chunkcount, 0)       \
    V(Scene, 1, 1, versionmajor, 0)      \
    V(Scene, 2, 1, versionminor, 0)      \
    V(Scene, 3, 8, name, 1)              \
    V(Scene, 4, 3, sceneparam, 0)        \
    V(Scene, 5, 3, materialcount, 0)     \
    V(Scene, 6, 3, objectcount, 0)       \
    V(Scene, 7, 4, camerafov, 0)         \
    V(Scene, 8, 4, cameranear, 0)        \
    V(Scene, 9, 4, camerafar, 0)         \
    V(Scene, 10, 3, camposkeycount, 0)   \
    V(Scene, 11, 3, camtargetkeycount, 0)\
    V(Scene, 84, 4, viewdistance, 0)     \
    V(Scene, 90, 4, materialscale, 0)

#define VLM_MATERIAL_CHUNKS(V, A, L)       \
    V(Material, 12, 8, name, 1)            \
    V(Material, 13, 8, texturename, 1)     \
    V(Material, 14, 8, envmaptexture, 1)   \
    V(Material, 15, 4, transparency, 0)    \
    V(Material, 16, 4, utile, 0)           \
    V(Material, 17, 4, vtile, 0)           \
    V(Material, 18, 4, alphatest, 0)       \
    V(Material, 19, 4, constantalpha, 0)   \
    V(Material, 20, 4, flaresize, 0)       \
    V(Material, 92, 4, envmapalpha, 0)     \
    V(Material, 93, 6, envmapcolor, 0)     \
    V(Material, 94, 13, envmapblend, 0)    \
    V(Material, 21, 3, magtype, 0)         \
    V(Material, 22, 3, shine, 0)           \
    V(Material, 23, 13, envmap, 0)         \
    V(Material, 24, 13, receivelight, 0)   \
    V(Material, 25, 13, textured, 0)       \
    V(Material, 26, 1, depthtest, 0)       \
    V(Material, 82, 1, depthfunc, 0)       \
    V(Material, 27, 1, blend, 0)           \
    V(Material, 28, 1, texturewrap, 0)     \
    V(Material, 29, 1, depth, 0)           \
    V(Material, 30, 6, ambient, 0)         \
    V(Material, 31, 6, diffuse, 0)         \
    V(Material, 32, 6, specular, 0)

#define VLM_OBJECT_CHUNKS(V, A, L)                                                  \
    V(SceneObject, 33, 8, name, 1)                                                  \
    V(SceneObject, 34, 3, vertexcount, 0)                                           \
    V(SceneObject, 35, 3, facecount, 0)                                             \
    V(SceneObject, 36, 3, material, 0)                                              \
    V(SceneObject, 37, 3, poskeycount, 0)                                           \
    V(SceneObject, 38, 3, rotkeycount, 0)                                           \
    V(SceneObject, 39, 3, scalekeycount, 0)                                         \
    V(SceneObject, 40, 3, striplength, 0)                                           \
    V(SceneObject, 41, 3, passno, 0)                                                \
    V(SceneObject, 42, 13, hasuv, 0)                                                \
    V(SceneObject, 43, 13, hascolors, 0)                                            \
    V(SceneObject, 44, 13, hasnormals, 0)                                           \
    V(SceneObject, 45, 13, visible, 0)                                              \
    V(SceneObject, 46, 13, backfacecull, 0)                                         \
    V(SceneObject, 88, 13, castshadow, 0)                                           \
    V(SceneObject, 89, 13, scalematerial, 0)                                        \
    V(SceneObject, 83, 1, cullmode, 0)                                              \
    V(SceneObject, 47, 1, rendermode, 0)                                            \
    V(SceneObject, 48, 12, matrix, 1)                                               \
    V(SceneObject, 49, 6, pivot, 0)                                                 \
    V(SceneObject, 91, 6, texturescroll, 0)                                         \
    V(SceneObject, 95, 13, fog, 0)                                                  \
    V(SceneObject, 96, 1, fogmode, 0)                                               \
    V(SceneObject, 97, 6, fogparams, 0)                                             \
    V(SceneObject, 98, 7, fogcolor, 0)                                              \
    V(SceneObject, 59, 8, particletexture, 1)                                       \
    V(SceneObject, 60, 3, newparticle, 0)                                           \
    V(SceneObject, 61, 4, power, 0)                                                 \
    V(SceneObject, 62, 4, deltapower, 0)                                            \
    V(SceneObject, 63, 4, size, 0)                                                  \
    V(SceneObject, 64, 13, particleenabled, 0)                                      \
    V(SceneObject, 65, 1, colorattrib, 0)                                           \
    V(SceneObject, 66, 6, deltavector, 0)                                           \
    V(SceneObject, 67, 6, deltavectorspread, 0)                                     \
    V(SceneObject, 68, 6, color, 0)                                                 \
    V(SceneObject, 69, 6, colorspread, 0)                                           \
    A(SceneObject, 50, 2, strip, striplength, WhenAlways, " triangle strip")        \
    A(SceneObject, 51, 6, vertices, vertexcount, WhenAlways, " vertex vectors")     \
    A(SceneObject, 52, 9, faces, facecount, WhenAlways, " face list")               \
    A(SceneObject, 99, 9, origfaces, facecount, WhenAlways, " orignal face list")   \
    A(SceneObject, 86, 9, neighbours, facecount, WhenAlways, " connectivity list")  \
    A(SceneObject, 53, 6, colors, vertexcount, WhenColors, " vertex color list")    \
    A(SceneObject, 54, 5, uvs, vertexcount, WhenUV, " UV coordinates")             \
    A(SceneObject, 55, 6, normals, vertexcount, WhenNormals, " vertex normals")     \
    A(SceneObject, 56, 10, poskeys, poskeycount, WhenKeys, " position vectors")     \
    A(SceneObject, 57, 11, rotkeys, rotkeycount, WhenKeys, " rotation quats")       \
    A(SceneObject, 58, 10, scalekeys, scalekeycount, WhenKeys, " scale vectors")    \
    L(SceneObject, 80, 1, wireframe)                                                \
    L(SceneObject, 81, 1, spareflag)

#define VLM_CAMERA_CHUNKS(V, A, L)                                                            \
    A(Scene, 70, 10, camposkeys, camposkeycount, WhenKeys, " camera positions")               \
    A(Scene, 71, 10, camtargetkeys, camtargetkeycount, WhenKeys, " camera target positions")

#define VLM_LIGHT_CHUNKS(V, A, L)                                                  \
    V(SceneLight, 72, 8, name, 1)                                                  \
    V(SceneLight, 73, 3, poskeycount, 0)                                           \
    V(SceneLight, 74, 13, enabled, 0)                                              \
    V(SceneLight, 75, 6, pos, 0)                                                   \
    V(SceneLight, 76, 6, ambient, 0)                                               \
    V(SceneLight, 77, 6, diffuse, 0)                                               \
    V(SceneLight, 78, 6, specular, 0)                                              \
    A(SceneLight, 79, 10, poskeys, poskeycount, WhenKeys, " light positions")

// Every list, in the saver's order.
#define VLM_ALL_CHUNKS(V, A, L)     \
    VLM_SCENE_CHUNKS(V, A, L)       \
    VLM_MATERIAL_CHUNKS(V, A, L)    \
    VLM_OBJECT_CHUNKS(V, A, L)      \
    VLM_CAMERA_CHUNKS(V, A, L)      \
    VLM_LIGHT_CHUNKS(V, A, L)
