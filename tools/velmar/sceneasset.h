// sceneasset.h - scenes to and from the files artists' tools write, through
// the Open Asset Import Library: `velmar scene import` (cmd_sceneimport.cpp:
// any file the library reads into a scene file) and `velmar scene export`
// (cmd_sceneexport.cpp: a scene file to glTF 2.0). This header holds what
// both share: the axes, key-frame time, names and texture pictures. The
// pieces the library leaves out work on bytes in assetbytes.h.
//
// The engine's up is +Z; glTF's (and the library's usual) is +Y. Turning
// between them only swaps and negates coordinates, so an exported scene
// imports back to the same numbers.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "../../render/vecmath.h"

// +Y up to +Z up: (x, y, z) -> (x, -z, y), and back.
inline Vector assetFromYUp(Vector v) { return Vector{v.x, -v.z, v.y}; }
inline Vector assetToYUp(Vector v) { return Vector{v.x, v.z, -v.y}; }

// Key frames per second of a file's animation time, unless --fps says.
const double AssetDefaultFps = 25;
// --fps: 0 < N <= 1000, or toolFail.
double assetFps(const std::string& option, const std::string& value);

// `base` (cut to `limit` bytes, "object" when empty), or with ".2", ".3", ...
// when `used` has it; the name returned is added to `used`.
std::string assetUniqueName(std::set<std::string>& used, const std::string& base, size_t limit = 255);

// The last part of a path (after '/' or '\'), and that without extension.
std::string assetBaseName(const std::string& path);
std::string assetStem(const std::string& path);

// A picture as a texture file: TGA and PNG files the texture loader reads are
// kept as they are (`keepTga`: TGA too), anything else it reads is written
// as PNG (with alpha only when a pixel is not opaque). `ext` is ".tga" or
// ".png" (or the kept file's own), `depth` the bits per pixel the engine
// will load (24 or 32). False with the loader's reason.
struct AssetPicture {
    std::string bytes;
    std::string ext;
    int depth = 24;
};
bool assetPicture(const std::string& data, bool keepTga, AssetPicture& out, std::string& why);
// An RGBA picture (top row first) written as PNG the same way.
AssetPicture assetPictureRgba(const uint8_t* rgba, int width, int height);
