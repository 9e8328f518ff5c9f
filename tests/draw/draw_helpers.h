// draw_helpers.h - what the renderer tests share: scenes built in code, the
// recording GL's trace read as calls and as the state before each draw, and
// a real headless GL context with pixel read-back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/scene.h"

// ------------------------------------------------------------ scenes in code

// A cleared scene named `name` with a camera from `eye` to `target` (one key
// each), fov 45 degrees, near 1, far 1000, viewdistance 1000, shadowlength
// 1000, materialscale 1. Blocks come from BS_MemGet; ReleaseScene frees it.
void InitScene(Scene& s, const char* name, Vector eye, Vector target);

// Replaces the camera tracks with these keys (frames and points).
void SetCameraTracks(Scene& s, const std::vector<TrackKey>& eye, const std::vector<TrackKey>& target);

// A new material (white colours, constantalpha 1, utile = vtile = 1);
// returns its index.
int32_t AddMaterial(Scene& s);

// A new visible object of `material` with these vertices and faces (and the
// same faces as `origfaces`); returns its index.
int32_t AddMesh(Scene& s, int32_t material, const std::vector<Vector>& vertices, const std::vector<Face>& faces);

// One triangle (0,0,0), (1,0,0), (0,1,0) with its pivot at `pivot`.
int32_t AddTriangle(Scene& s, int32_t material, Vector pivot = {0, 0, 0});

// A closed cube of half-size `half` around `centre`, faces counter-clockwise
// seen from outside. `flat`: 24 vertices with per-face normals and UVs
// (0..1 on every side) instead of 8 shared corners.
int32_t AddCube(Scene& s, int32_t material, Vector centre, float half, bool flat = false);

// A square in the plane z = `z`, from (x0, y0) to (x1, y1), facing +Z, with
// normals (0, 0, 1) and UVs; two faces.
int32_t AddFloor(Scene& s, int32_t material, float x0, float y0, float x1, float y1, float z);

// Gives the object a position track of these keys.
void SetObjectTrack(Scene& s, int32_t object, const std::vector<TrackKey>& keys);
void SetLightTrack(Scene& s, int light, const std::vector<TrackKey>& keys);

// The worked-out data a load adds: face normals and centres, neighbours,
// the shadow buffers, maxpassno, the camera's ease vectors.
void FinishScene(Scene& s);

// ------------------------------------------------------------ traces

// Lines of the trace from `from` on.
std::vector<std::string> Slice(const std::vector<std::string>& lines, size_t from, size_t to = SIZE_MAX);

// Index of the first line equal to `line` at or after `from`; -1 when none.
int Find(const std::vector<std::string>& lines, const std::string& line, size_t from = 0);
int FindPrefix(const std::vector<std::string>& lines, const std::string& prefix, size_t from = 0);
int Count(const std::vector<std::string>& lines, const std::string& line);
int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix);

// The GL state the trace sets, replayed: what holds when each glDrawElements
// runs.
struct DrawState {
    std::string call;  // the glDrawElements line
    bool blend = false, depthTest = false, alphaTest = false, cull = false, lighting = false, texture = false,
         fog = false;
    std::string blendFunc;  // "GL_ONE, GL_ONE", "" until set
    bool depthMask = true;
    std::string depthFunc = "GL_LESS";
    std::string alphaFunc;  // "GL_GREATER, 0.5"
    int shine = -1;         // the last glMateriali shininess: tells objects apart
    std::string texture2d;  // the bound texture's name
};
std::vector<DrawState> ReplayDraws(const std::vector<std::string>& lines);

// Shininess of the objects drawn, in draw order (materials made with shine
// = a distinct number per object tell objects apart).
std::vector<int> DrawnShines(const std::vector<std::string>& lines);

// "#xxxxxxxx": the recording GL's hash of index or pixel data.
std::string DataHash(const void* data, size_t bytes);

// ------------------------------------------------------------ real pixels

// RGB pixels of the current GL's lower-left w x h, bottom row first.
struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[((size_t)y * w + x) * 3]; }
};
Picture ReadPicture(int w, int h);
std::vector<float> ReadDepth(int w, int h);

// Window position (x, y, depth) of a world point under the GL's current
// modelview and projection and viewport.
struct WindowPoint {
    float x, y, depth;
    bool inside;  // in front of the camera and on the viewport
};
WindowPoint ProjectPoint(Vector p);

// A TGA image file of w x h pixels (top row first, RGB).
std::string TgaRgb(int w, int h, const std::vector<uint8_t>& rgbTopFirst);
// A PNG file read back (RGB), top row first; empty on failure.
Picture ReadPng(const std::string& path);
