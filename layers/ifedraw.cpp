// Layer files: loading with textures, and drawing.
#include "../frame/frame.h"
#include "../glbind/glbind.h"
#include "../render/screenfx.h"
#include "../textures/texman.h"
#include "layers.h"
#include "layers_internal.h"

namespace {

bool isFrameCopy(const ShortString& name) { return name == "RT" || name == "GLOW"; }

uint32_t layerTexture(const ShortString& name, const ShortString& folder) {
    uint32_t tex;
    if (name == "RT") tex = frameTexture;
    else if (name == "GLOW") tex = glowTexture;
    else tex = tmAcquire(RtJoinPath(folder, name), 1);
    // Acts on whatever is bound now: the new texture when the manager just
    // made it, otherwise the one bound before.
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    return tex;
}

void setBlend(uint8_t mode) {
    switch (mode) {
    case 0: GL.glDisable(GL_BLEND); break;
    case 1: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case 3: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA); break;
    case 4: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR); break;
    default: break;  // keeps the previous layer's or the caller's blending
    }
}

}  // namespace

void ifeLoad(InterfaceLayerSet& set, const ShortString& fileName, const ShortString& folder) {
    LogLine(S("[ife] load: ") + fileName);
    std::string text = RtReadFile(ToCString(fileName));
    ifeParseWith(set, text, fileName, folder, layerTexture);
}

void ifeFree(InterfaceLayerSet& set) { ifeFreeWith(set, tmRelease); }

void ifeDraw(const InterfaceLayerSet& set, float time) {
    GL.glDisable(GL_LIGHTING);
    GL.glDisable(GL_DEPTH_TEST);
    GL.glDisable(GL_ALPHA_TEST);
    GL.glDisable(GL_CULL_FACE);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPushMatrix();
    for (int32_t i = 0; i < set.count; ++i) {
        const InterfaceLayer& l = set.layers[i];
        GL.glMatrixMode(GL_TEXTURE);
        GL.glLoadIdentity();
        GL.glMatrixMode(GL_MODELVIEW);
        GL.glLoadIdentity();
        GL.glMatrixMode(GL_PROJECTION);
        GL.glLoadIdentity();
        GLU.gluOrtho2D(0, 1024, 0, 768);
        setBlend(l.blend);
        GL.glEnable(GL_TEXTURE_2D);
        GL.glBindTexture(GL_TEXTURE_2D, l.gltexture);
        LayerState s = ifeEvaluate(l, time);
        float hw = s.width / 2, hh = s.height / 2;
        GL.glColor4f(s.red, s.green, s.blue, s.alpha);
        GL.glTranslatef(s.x, s.y, 0);
        GL.glRotatef(s.angle, 0, 0, 1);
        if (l.texturename == "feher.tga") GL.glDisable(GL_TEXTURE_2D);
        else GL.glEnable(GL_TEXTURE_2D);
        // Frame copies are stored bottom-up: their top edge samples t = 1.
        bool copy = isFrameCopy(l.texturename);
        GL.glBegin(GL_QUADS);
        GL.glTexCoord2f(1, copy ? 1 : 0);
        GL.glVertex2f(hw, hh);
        GL.glTexCoord2f(1, copy ? 0 : 1);
        GL.glVertex2f(hw, -hh);
        GL.glTexCoord2f(0, copy ? 0 : 1);
        GL.glVertex2f(-hw, -hh);
        GL.glTexCoord2f(0, copy ? 1 : 0);
        GL.glVertex2f(-hw, hh);
        GL.glEnd();
    }
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPopMatrix();
}
