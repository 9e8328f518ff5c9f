// texman.h - the texture manager: one table of named, shared GL textures.
//
// Image files become GL textures only here. A file requested under the same
// name and filter mode is loaded once and shared by reference count; images
// are read through the texture-loader module (Modules/TL.so).
// Filter modes: 0 NEAREST, 1 LINEAR, 2 MIPMAP_NEAREST, 3 MIPMAP_LINEAR.
#pragma once

#include <cstdint>

#include "../frame/shortstring.h"

struct TextureImage;  // the loader module's record (modules/tl/tl_api.h)

struct TextureEntry {
    ShortString name;  // "empty" in a free slot
    uint32_t glRef;
    bool uploaded;
    bool empty;
    int32_t type;   // filter mode
    int32_t reqs;   // acquisitions not yet released
    int32_t depth;  // bits per pixel of the image
};

const int TextureSlots = 1001;
extern TextureEntry TextureManager[TextureSlots];

void tmReset();
uint32_t tmAcquire(const ShortString& fileName, int32_t mode);
void tmRelease(uint32_t glName);
int32_t tmDepthOf(uint32_t glName);
void tmReleaseAll();
void tmReloadAll();
void tmDump(const ShortString& fileName);
TextureImage* tmLoadImage(const ShortString& fileName);
