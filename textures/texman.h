// texman.h - the texture manager: one table of named, shared GL textures,
// and the binding of the texture-loader module (Modules/TL.so, "TL").
//
// Image files become GL textures only here. A file requested under the same
// name and filter mode is loaded once and shared by reference count; images
// are read through the loader's txLoad and uploaded unchanged.
// Filter modes: 0 NEAREST, 1 LINEAR, 2 MIPMAP_NEAREST, 3 MIPMAP_LINEAR; any
// other mode makes a GL texture without filters or image.
// The unit owns `TextureManager` (1001 slots) and `TextureLoader` (the
// module's entry points, registry slot 4).
#pragma once

#include <cstdint>

#include "../frame/shortstring.h"
#include "../modules/tl/tl_api.h"

struct TextureEntry {
    ShortString name;  // as requested; "empty" in a reset slot
    uint32_t glRef;    // GL texture name, 0 in a reset slot
    bool uploaded;
    bool empty;
    int32_t type;   // filter mode
    int32_t reqs;   // acquisitions not yet released
    int32_t depth;  // bits per pixel of the image
};

const int TextureSlots = 1001;
extern TextureEntry TextureManager[TextureSlots];

// The loader module's entry points, bound by name in the list's order.
struct TextureLoaderModule {
    void* handle;
#define TX_SLOT(ret, name, params) ret(*name) params;
    TX_API_LIST(TX_SLOT)
#undef TX_SLOT
};
extern TextureLoaderModule TextureLoader;

// Registers "Texture loader ..." / "Uninit texture loader ..." at slot 4.
void TlRegisterUnits();
// The init procedure: opens "TL", binds it, calls txInit(0). A missing
// module, or a missing entry point that the manager calls, is a fatal stop.
void TlBind();
// The exit procedure: closes the module.
void TlUnbind();

// Loader options 2 (the settings record's texture option: how many times
// the loader halves every image) and 3 (1: rows top row first), passed once
// by the main program right after tmReset.
void tmSetLoaderOptions(int32_t textureOption);

void tmReset();
uint32_t tmAcquire(const ShortString& fileName, int32_t mode);
void tmRelease(uint32_t glName);
int32_t tmDepthOf(uint32_t glName);
void tmReleaseAll();
void tmReloadAll();
// Loads the file again into every texture of that name (any filter mode),
// keeping their GL names; false (the textures unchanged) when the loader
// cannot read it. A name no texture has is nothing to do.
bool tmReloadFile(const ShortString& fileName);
bool tmIsLoaded(const ShortString& fileName);
// Empties the slots of loads a fatal stop cut short (they stay taken while
// the stop ends the program); for callers that survive the stop.
void tmForgetFailed();
void tmDump(const ShortString& fileName);
TextureImage* tmLoadImage(const ShortString& fileName);
