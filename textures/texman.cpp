#include "texman.h"

#include <stdio.h>

#include <string>

#include "../frame/frame.h"
#include "../glbind/glbind.h"

TextureEntry TextureManager[TextureSlots];
TextureLoaderModule TextureLoader;

namespace {

const char* const LoaderMissing = "Ember textura loader not found. Please reinstall this software.";
const char* const LoaderError = "Error occoured ! Texture Loader Error. ( ";

// Texture parameters the GL 1.1 header may not name.
const GLenum kGenerateMipmap = 33169;  // GL_GENERATE_MIPMAP
const GLenum kTextureMaxLevel = 33085;  // GL_TEXTURE_MAX_LEVEL

void resetSlot(TextureEntry& e) {
    e.name = S("empty");
    e.glRef = 0;
    e.uploaded = false;
    e.empty = true;
    e.type = 3;
    e.reqs = 0;
}

// The three DXT answers of the GL, before every load.
void passDxtOptions() {
    if (!TextureLoader.txOptions) return;
    TextureLoader.txOptions(TX_DXT1, hasDXT1 ? 1 : 0);
    TextureLoader.txOptions(TX_DXT3, hasDXT3 ? 1 : 0);
    TextureLoader.txOptions(TX_DXT5, hasDXT5 ? 1 : 0);
}

// Each stored level in turn, sizes halved from level 0 and kept at least
// 1 x 1; then the level range is fixed so GL needs no chain of its own.
template <typename Upload>
void uploadLevels(const TextureImage* image, Upload upload) {
    GL.glTexParameteri(GL_TEXTURE_2D, kGenerateMipmap, 0);
    // The record holds 13 levels; a larger count from the module is not
    // read past its arrays.
    int32_t levels = image->levels < TX_MAX_LEVELS ? image->levels : TX_MAX_LEVELS;
    GLsizei w = image->width, h = image->height;
    for (int32_t i = 0; i < levels; ++i) {
        if (w < 1) w = 1;
        if (h < 1) h = 1;
        upload(i, w, h);
        w /= 2;
        h /= 2;
    }
    GL.glTexParameteri(GL_TEXTURE_2D, kTextureMaxLevel, image->levels - 1);
}

// The image into the bound texture, exactly as the module gave it.
void uploadImage(const TextureImage* image, bool baseOnly) {
    if (image->kind == TX_KIND_COMPRESSED) {
        uploadLevels(image, [&](int32_t i, GLsizei w, GLsizei h) {
            if (GLEXT.glCompressedTexImage2DARB)
                GLEXT.glCompressedTexImage2DARB(GL_TEXTURE_2D, i, (GLenum)image->format, w, h, 0, image->levelsize[i],
                                                image->level[i]);
        });
        return;
    }
    GLenum format = image->format ? GL_RGBA : GL_RGB;
    GLint components = image->bpp / 8;
    if (image->levels > 1) {
        uploadLevels(image, [&](int32_t i, GLsizei w, GLsizei h) {
            GL.glTexImage2D(GL_TEXTURE_2D, i, components, w, h, 0, format, GL_UNSIGNED_BYTE, image->level[i]);
        });
    } else if (!baseOnly) {
        GLU.gluBuild2DMipmaps(GL_TEXTURE_2D, components, image->width, image->height, format, GL_UNSIGNED_BYTE,
                              image->level[0]);
    } else {
        GL.glTexImage2D(GL_TEXTURE_2D, 0, components, image->width, image->height, 0, format, GL_UNSIGNED_BYTE,
                        image->level[0]);
    }
}

// Filters and upload by filter mode; other modes do neither.
void filterAndUpload(const TextureImage* image, int32_t mode) {
    static const struct {
        GLint mag, min;
        bool baseOnly;
    } kModes[4] = {
        {GL_NEAREST, GL_NEAREST, true},
        {GL_LINEAR, GL_LINEAR, true},
        {GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, false},
        {GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, false},
    };
    if (mode < 0 || mode > 3) return;
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, kModes[mode].mag);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, kModes[mode].min);
    uploadImage(image, kModes[mode].baseOnly);
}

void freeImage(TextureImage*& image) {
    if (TextureLoader.txFree) TextureLoader.txFree(&image);
}

}  // namespace

// ---------------------------------------------------------------- module

void TlBind() {
    TextureLoader = TextureLoaderModule{};
    TextureLoader.handle = Base.BS_DlOpen("TL");
    if (!TextureLoader.handle) FatalStop(LoaderMissing);
    LogLine("[TL] lib loaded.");
#define TX_BIND(ret, name, params) TextureLoader.name = (ret(*) params)Base.BS_DlGetProc(TextureLoader.handle, #name);
    TX_API_LIST(TX_BIND)
#undef TX_BIND
    // The entry points the manager calls: without them every texture would
    // fail later, far from the cause.
#define TX_NEED(name) \
    if (!TextureLoader.name) FatalStop("Ember textura loader entry point " #name " not found. Please reinstall this software.");
    TX_NEED(txInit) TX_NEED(txOptions) TX_NEED(txLoad) TX_NEED(txFree)
#undef TX_NEED
    TextureLoader.txInit(0);
    LogLine("[TL] TL loaded ...");
}

void TlUnbind() {
    if (TextureLoader.handle) Base.BS_DlClose(TextureLoader.handle);
    TextureLoader = TextureLoaderModule{};
}

void TlRegisterUnits() {
    RegisterInit(S("Texture loader ..."), 4, TlBind);
    RegisterExit(S("Uninit texture loader ..."), 4, TlUnbind);
}

void tmSetLoaderOptions(int32_t textureOption) {
    if (!TextureLoader.txOptions) return;
    TextureLoader.txOptions(TX_OPTION_REDUCE, textureOption);
    TextureLoader.txOptions(TX_OPTION_ROWORDER, 1);
}

// ---------------------------------------------------------------- table

void tmReset() {
    for (TextureEntry& e : TextureManager) resetSlot(e);
}

TextureImage* tmLoadImage(const ShortString& fileName) {
    if (!TextureLoader.txLoad) return nullptr;
    return TextureLoader.txLoad(ToCString(fileName));
}

uint32_t tmAcquire(const ShortString& fileName, int32_t mode) {
    ShortString name = fileName;
    passDxtOptions();
    bool found = false;
    uint32_t shared = 0;
    for (TextureEntry& e : TextureManager)
        if (e.name == name && e.type == mode && e.uploaded && !e.empty) {
            found = true;
            shared = e.glRef;
            e.reqs++;
        }
    if (found) return shared;

    TextureEntry* slot = nullptr;
    for (TextureEntry& e : TextureManager)
        if (e.empty) {
            slot = &e;
            break;
        }
    if (!slot)
        FatalStop(S("Error occoured ! Texture table full: all ") + std::to_string(TextureSlots) +
                  " slots are in use. ( " + name + " )");
    slot->name = name;
    slot->empty = false;
    slot->type = mode;
    slot->reqs = 1;

    TextureImage* image = tmLoadImage(name);
    if (!image) FatalStop(S(LoaderError) + name + " )");
    GL.glGenTextures(1, &slot->glRef);
    GL.glBindTexture(GL_TEXTURE_2D, slot->glRef);
    slot->depth = image->bpp;
    filterAndUpload(image, mode);
    slot->uploaded = true;
    freeImage(image);
    return slot->glRef;
}

void tmRelease(uint32_t glName) {
    for (TextureEntry& e : TextureManager)
        if (e.glRef == glName && !e.empty && e.uploaded) {
            e.reqs--;
            if (e.reqs < 1) {
                GL.glDeleteTextures(1, &e.glRef);
                e.empty = true;
                e.uploaded = false;
            }
        }
}

int32_t tmDepthOf(uint32_t glName) {
    int32_t depth = 0;
    for (const TextureEntry& e : TextureManager)
        if (e.glRef == glName && e.uploaded && !e.empty) depth = e.depth;
    return depth;
}

void tmReleaseAll() {
    for (TextureEntry& e : TextureManager) {
        if (!e.empty && e.uploaded) GL.glDeleteTextures(1, &e.glRef);
        resetSlot(e);
    }
}

void tmReloadAll() {
    passDxtOptions();
    for (TextureEntry& e : TextureManager) {
        if (e.empty || !e.uploaded) continue;
        TextureImage* image = tmLoadImage(e.name);
        if (!image) FatalStop("Error occoured ! Texture Loader Error. (NIL RETURN VALUE)");
        GL.glDeleteTextures(1, &e.glRef);
        GL.glGenTextures(1, &e.glRef);
        GL.glBindTexture(GL_TEXTURE_2D, e.glRef);
        e.depth = image->bpp;
        filterAndUpload(image, e.type);
        e.uploaded = true;
        freeImage(image);
    }
}

void tmForgetFailed() {
    for (TextureEntry& e : TextureManager)
        if (!e.empty && !e.uploaded) resetSlot(e);
}

bool tmIsLoaded(const ShortString& fileName) {
    for (const TextureEntry& e : TextureManager)
        if (!e.empty && e.uploaded && e.name == fileName) return true;
    return false;
}

bool tmReloadFile(const ShortString& fileName) {
    if (!tmIsLoaded(fileName)) return true;
    passDxtOptions();
    TextureImage* image = tmLoadImage(fileName);
    if (!image) return false;
    // Same GL names: every material and layer holding one sees the new image.
    for (TextureEntry& e : TextureManager) {
        if (e.empty || !e.uploaded || !(e.name == fileName)) continue;
        GL.glBindTexture(GL_TEXTURE_2D, e.glRef);
        e.depth = image->bpp;
        filterAndUpload(image, e.type);
    }
    freeImage(image);
    return true;
}

void tmDump(const ShortString& fileName) {
    FILE* f = fopen(ToCString(fileName), "wb");
    if (!f) return;
    std::string text = "ember!corvinth texture management system\r\n \r\n";
    for (const TextureEntry& e : TextureManager) {
        if (e.empty) continue;
        text += str(e.name);
        text += " OpenGL ref.:" + std::to_string(e.glRef);
        text += std::string(" uploaded:") + (e.uploaded ? "TRUE" : "FALSE");
        text += " type:" + std::to_string(e.type);
        text += " reqs.:" + std::to_string(e.reqs) + "\r\n";
    }
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) RunError(101, ToCString(fileName));
}
