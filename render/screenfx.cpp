#include "screenfx.h"

#include "../frame/frame.h"
#include "../glbind/glbind.h"

uint32_t frameTexture = 0;
int32_t frameTextureSize = 0;
uint32_t glowTexture = 0;
int32_t glowTextureSize = 8;

namespace {

void makeTexture(uint32_t& name, int32_t size, const char* label) {
    // Cleared rather than left undefined, so a copy never shows old memory.
    void* block = Base.BS_MemGet((size_t)size * (size_t)size * 4, label);
    GL.glEnable(GL_TEXTURE_2D);
    GL.glGenTextures(1, &name);
    GL.glBindTexture(GL_TEXTURE_2D, name);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    GL.glTexImage2D(GL_TEXTURE_2D, 0, 4, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, block);
    Base.BS_MemFree(&block);
}

void copyInto(uint32_t name, int32_t size) {
    GL.glEnable(GL_TEXTURE_2D);
    GL.glBindTexture(GL_TEXTURE_2D, name);
    GL.glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, size, size, 0);
}

}  // namespace

void initFrameTexture() {
    frameTextureSize = 256;
    makeTexture(frameTexture, frameTextureSize, " temporary texture data for framebuffer ");
}

void initGlowTexture() { makeTexture(glowTexture, glowTextureSize, " temporary texture data for glow "); }

void copyFrameTexture() { copyInto(frameTexture, frameTextureSize); }
void copyGlowTexture() { copyInto(glowTexture, glowTextureSize); }
