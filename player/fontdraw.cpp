// Font set: GL textures and the text drawer.
#include "../frame/frame.h"
#include "../glbind/glbind.h"
#include "font.h"

void LoadFont(FontSet& font, const char* fileName) {
    std::string data = RtReadFile(fileName);
    fontParse(font, data, fileName);
    for (int32_t i = 0; i < font.count; ++i) {
        Glyph& g = font.glyphs[i];
        GL.glGenTextures(1, &g.texture);
        GL.glEnable(GL_TEXTURE_2D);
        GL.glBindTexture(GL_TEXTURE_2D, g.texture);
        GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        GL.glTexImage2D(GL_TEXTURE_2D, 0, 1, 64, 64, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, g.pixels);
        GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
}

void fontBlendMode(int32_t mode) {
    switch (mode) {
    case 0: GL.glDisable(GL_BLEND); break;
    case 1: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR); break;
    case 3: GL.glEnable(GL_BLEND), GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    default: break;
    }
}

void DrawText(const FontSet& font, float y, float x, float glyphWidth, float glyphHeight, float r, float g,
              float b, float a, float br, float bg, float bb, float ba, float spaceAdvance, float spacing,
              int32_t backgroundMode, int32_t glyphMode, const ShortString& text) {
    GL.glDisable(GL_DEPTH_TEST);
    const float W = glyphWidth / 1024, H = glyphHeight / 768, Sp = spaceAdvance / 1024, P = spacing / 1024;
    const float x0 = x / 512 - 1, yc = 1 - y / 384 - H;
    // A character without a glyph is nothing, zero wide; spacing still counts.
    auto scaleOf = [&](unsigned char ch) {
        const Glyph* gl = fontGlyph(font, ch);
        return gl ? (float)gl->width / 63 : 0.0f;
    };
    float xr = x0;
    for (int i = 0; i < text.len; ++i) {
        unsigned char ch = (unsigned char)text.text[i];
        xr = xr + 2 * W * scaleOf(ch);
        xr = xr + P;
        if (ch == ' ') xr = xr + Sp;
    }
    fontBlendMode(backgroundMode);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glColor4f(br, bg, bb, ba);
    GL.glBegin(GL_QUADS);
    GL.glVertex2f(x0, yc - H);
    GL.glVertex2f(x0, yc + H);
    GL.glVertex2f(xr, yc + H);
    GL.glVertex2f(xr, yc - H);
    GL.glEnd();
    float pen = x0;
    for (int i = 0; i < text.len; ++i) {
        unsigned char ch = (unsigned char)text.text[i];
        const Glyph* gl = fontGlyph(font, ch);
        float k = scaleOf(ch);
        pen = pen + W * k;
        if (gl) {
            GL.glEnable(GL_TEXTURE_2D);
            GL.glBindTexture(GL_TEXTURE_2D, gl->texture);
            fontBlendMode(glyphMode);
            GL.glColor4f(r, g, b, a);
            GL.glBegin(GL_QUADS);
            GL.glTexCoord2f(1, 0);
            GL.glVertex2f(pen - W * k, yc - H);
            GL.glTexCoord2f(0, 0);
            GL.glVertex2f(pen - W * k, yc + H);
            GL.glTexCoord2f(0, k);
            GL.glVertex2f(pen + W * k, yc + H);
            GL.glTexCoord2f(1, k);
            GL.glVertex2f(pen + W * k, yc - H);
            GL.glEnd();
        }
        pen = pen + W * k + P;
        if (ch == ' ') pen = pen + Sp;
    }
    GL.glEnable(GL_DEPTH_TEST);
}
