// screenfx.h - the frame and glow textures: pictures already drawn, reused.
//
// Both are filled by copying the lower-left square of the framebuffer; layers
// whose texture word is "RT" (frame) or "GLOW" (glow) show them.
#pragma once

#include <cstdint>

extern uint32_t frameTexture;
extern int32_t frameTextureSize;  // 256 once made
extern uint32_t glowTexture;
extern int32_t glowTextureSize;   // 8

void initFrameTexture();
void initGlowTexture();
void copyFrameTexture();
void copyGlowTexture();
