// scenefile.h - the scene file (.vlm): loader, saver, texture set-up and the
// zlib wrappers of its packed chunks.
//
// A scene file is a flat stream of chunks ("F!", element type, kind, count,
// size, packed size, index, payload); chunks.h lists them. The loader reads
// the whole file into memory and never looks past it. A malformed file ends
// in FatalStop ("Chunk size corruption !" and its siblings, or a "Scene
// corruption !" naming the file and the object) and a file cut short inside
// a chunk in run-time error 100; with a fail hook installed (tools, tests)
// the partly loaded scene is given back before the failure leaves LoadScene.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scene.h"

// What the loader saw, for tools: chunks per kind and bytes skipped between
// chunks.
struct SceneLoadStats {
    int32_t chunks;
    int32_t kinds[256];
    int64_t skipped;
};

// Fills a cleared scene from the file; a file that cannot be read is
// FatalStop "File (<name>) not found.".
void LoadScene(Scene& scene, const ShortString& fileName);

// The same from bytes already in memory; `fileName` only names the file in
// messages.
void LoadSceneData(Scene& scene, const ShortString& fileName, const uint8_t* data, size_t size,
                   SceneLoadStats* stats = nullptr);

// Turns texture names into GL textures through the texture manager, from
// `folder` + "/" + name; "$framebuffer$.jpg" loads nothing (glname 0). A
// set-up stopped part way (a fail hook) can be given back with
// ReleaseSceneTextures.
void SetupSceneTextures(Scene& scene, const ShortString& folder);
void ReleaseSceneTextures(Scene& scene);

// Writes the scene as a version 1.2 file, chunks in the tables' order. A
// write error is run-time error 101; a scene whose arrays are missing for
// their counts is refused with FatalStop before anything is written.
void SaveScene(const Scene& scene, const ShortString& fileName);
std::string SaveSceneData(const Scene& scene);  // the file's bytes

// The chunk count the saver announces in kind 87 (readers do not use it).
int32_t SceneAnnouncedChunks(const Scene& scene);

// zlib level of the saver; 9 until set.
void SetCompressionLevel(int32_t level);

// Both bind zlib's compress2 and uncompress from the Base module on first use
// (FatalStop when the module lacks them) and return zlib's result code, or 42
// when no output block was obtained. PackBlock reserves a block of
// trunc(length * 1.001) + 12 bytes ("Z lib (compress)") and sets
// *outputLength to the compressed length. UnpackBlock inflates into a new
// block of exactly outputLength bytes ("Z lib (decompress)"); a stream that
// ends short of that length is reported as Z_DATA_ERROR (-3).
int32_t PackBlock(const void* source, int32_t length, void** output, int32_t* outputLength);
int32_t UnpackBlock(void** output, int32_t outputLength, const void* source, int32_t sourceLength);

// Inflates straight into `dest` (the loader's arrays): true when the stream
// is whole and gives exactly `size` bytes.
bool InflateInto(void* dest, size_t size, const void* source, size_t sourceLength);

// The texts of the loader's refusals.
extern const char ChunkSizeCorruption[];   // "Chunk size corruption !"
extern const char ChunkTypeCorruption[];   // element type above 13
extern const char ChunkIndexCorruption[];  // index outside its array
extern const char ChunkOrderCorruption[];  // before its count, or a count twice
