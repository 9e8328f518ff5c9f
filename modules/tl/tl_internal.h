// tl_internal.h - what the texture-loader module's files share.
//
// The module owns its options, the result of the last call and every image
// it hands out. An image is one allocation for the record (with a hidden
// tail) and one block for all level data, so txFree is two frees whatever
// was done to the image in between.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tl_api.h"

#define TX_EXPORT extern "C" __attribute__((visibility("default")))

namespace tl {

struct Options {
    int32_t reduce;    // TX_OPTION_REDUCE
    int32_t rowOrder;  // TX_OPTION_ROWORDER: 1 top row first
    int32_t dxt1, dxt3, dxt5;
};
extern Options options;

// Records the result of the current call; fail returns 0 for convenience.
void setResult(int32_t code);
int32_t fail(int32_t code);

inline uint32_t le16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
inline uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// Bytes per row: rows start on 4-byte boundaries, as GL unpacks them.
inline int32_t rowPitch(int32_t width, int32_t bytesPerPixel) {
    return (int32_t)((((int64_t)width * bytesPerPixel) + 3) & ~(int64_t)3);
}

// A new image with `levels` levels of the given byte sizes, data cleared.
// Null (result TX_ERR_MEMORY) when memory runs out.
TextureImage* newImage(int32_t kind, int32_t levels, const int32_t* sizes);
void freeImage(TextureImage* image);
// Puts `block` (from allocBlock, or any malloc'ed block) in place of the
// image's data block.
void replaceBlock(TextureImage* image, uint8_t* block);
// A one-level image around `block` (malloc'ed; the image owns it now).
TextureImage* adoptImage(int32_t kind, uint8_t* block, int32_t size);
uint8_t* allocBlock(size_t size);
void freeBlock(uint8_t* block);
bool isOurs(const TextureImage* image);

// Size sanity before any allocation.
bool sizeAcceptable(int64_t width, int64_t height);

// Readers: bytes in, image out (top row first, rows padded), or null with
// the result set. They never read outside [data, data + size).
TextureImage* loadStb(const uint8_t* data, size_t size);
TextureImage* loadDds(const uint8_t* data, size_t size);
bool isDds(const uint8_t* data, size_t size);

// Writers: false with the result set.
bool saveStb(const char* fileName, const TextureImage* image);
bool saveDds(const char* fileName, const TextureImage* image);
bool writeWholeFile(const char* fileName, const void* data, size_t size);

// Level 0 of a pixel image resampled to width x height; the other levels go.
bool scaleImage(TextureImage* image, int32_t width, int32_t height);

// DXT blocks of one level decoded into rows of `pitch` bytes, `channels`
// bytes per pixel (3: RGB, 4: RGBA).
void decodeDxt(int32_t format, const uint8_t* blocks, int32_t width, int32_t height, uint8_t* out, int32_t pitch,
               int32_t channels);
int32_t dxtLevelSize(int32_t format, int32_t width, int32_t height);

}  // namespace tl
