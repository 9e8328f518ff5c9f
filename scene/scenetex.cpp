// Scene textures through the texture manager (kept apart so that nothing
// else of the scene unit needs it).
#include "../frame/frame.h"
#include "../textures/texman.h"
#include "scenefile.h"

namespace {
// A material drawn with the frame copy: no file behind it.
const char FrameBufferTexture[] = "$framebuffer$.jpg";
}  // namespace

void SetupSceneTextures(Scene& scene, const ShortString& folder) {
    // Every name this gives out is 0 until acquired, so a set-up stopped by
    // a texture the loader cannot read releases exactly what it took.
    for (int32_t i = 0; scene.materials && i < scene.materialcount; ++i) {
        Material& m = scene.materials[i];
        if (m.textured) m.glname = 0;
        if (m.envmap) m.envmapglname = 0;
    }
    for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i)
        if (scene.objects[i].particleenabled) scene.objects[i].particleglname = 0;
    for (int32_t i = 0; scene.materials && i < scene.materialcount; ++i) {
        Material& m = scene.materials[i];
        if (m.textured) {
            if (m.texturename == std::string_view(FrameBufferTexture)) {
                m.glname = 0;
            } else {
                m.glname = tmAcquire(RtJoinPath(folder, m.texturename), m.magtype);
                m.depth = (uint8_t)tmDepthOf(m.glname);
            }
        }
        if (m.envmap) m.envmapglname = tmAcquire(RtJoinPath(folder, m.envmaptexture), 3);
    }
    for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i) {
        SceneObject& o = scene.objects[i];
        if (o.particleenabled && o.particletexture.len > 0)
            o.particleglname = tmAcquire(RtJoinPath(folder, o.particletexture), 3);
    }
}

void ReleaseSceneTextures(Scene& scene) {
    for (int32_t i = 0; scene.materials && i < scene.materialcount; ++i) {
        Material& m = scene.materials[i];
        if (m.textured) tmRelease(m.glname);
        if (m.envmap) tmRelease(m.envmapglname);
    }
    for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i) {
        SceneObject& o = scene.objects[i];
        if (o.particleenabled && o.particletexture.len > 0) tmRelease(o.particleglname);
    }
}
