// Layer drawing as GL calls, through the recording GL.
#include <gtest/gtest.h>

#include "glbind/glbind.h"
#include "layers/layers.h"
#include "layers/layers_internal.h"
#include "recgl/recgl.h"
#include "render/screenfx.h"
#include "support/support.h"

namespace {

struct IfeDrawTest : ::testing::Test {
    void SetUp() override {
        RecglBind();
    }
    void TearDown() override {
        RecglUnbind();
    }
};

std::string Layer(const std::string& texture, int blend, const std::string& keys, int keyCount) {
    return texture + "\n\n\n" + std::to_string(keyCount) + "\n" + std::to_string(blend) + "\n" + keys;
}

const std::string kStill = "0 512 384 0 0 1024 768 255 255 255 255\n";

TEST_F(IfeDrawTest, EachLayerIsOneQuadInTheScreenProjection) {
    InterfaceLayerSet set{};
    ifeParse(set, "1\n0\n" + Layer("pic.tga", 2, "0 100 200 0 90 40 20 255 0 0 128\n", 1), S("a.ife"));
    set.layers[0].gltexture = 7;
    ifeDraw(set, 0);
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{
                               "glDisable(GL_LIGHTING)",
                               "glDisable(GL_DEPTH_TEST)",
                               "glDisable(GL_ALPHA_TEST)",
                               "glDisable(GL_CULL_FACE)",
                               "glMatrixMode(GL_MODELVIEW)",
                               "glPushMatrix()",
                               "glMatrixMode(GL_TEXTURE)",
                               "glLoadIdentity()",
                               "glMatrixMode(GL_MODELVIEW)",
                               "glLoadIdentity()",
                               "glMatrixMode(GL_PROJECTION)",
                               "glLoadIdentity()",
                               "gluOrtho2D(0, 1024, 0, 768)",
                               "glEnable(GL_BLEND)",
                               "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)",
                               "glEnable(GL_TEXTURE_2D)",
                               "glBindTexture(GL_TEXTURE_2D, 7)",
                               "glColor4f(1, 0, 0, 0.5019608)",
                               "glTranslatef(100, 200, 0)",
                               "glRotatef(90, 0, 0, 1)",
                               "glEnable(GL_TEXTURE_2D)",
                               "glBegin(GL_QUADS)",
                               "glTexCoord2f(1, 0)",
                               "glVertex2f(20, 10)",
                               "glTexCoord2f(1, 1)",
                               "glVertex2f(20, -10)",
                               "glTexCoord2f(0, 1)",
                               "glVertex2f(-20, -10)",
                               "glTexCoord2f(0, 0)",
                               "glVertex2f(-20, 10)",
                               "glEnd()",
                               "glMatrixMode(GL_MODELVIEW)",
                               "glPopMatrix()",
                           }));
    ifeFreeWith(set, nullptr);
}

TEST_F(IfeDrawTest, BlendModesFrameCopiesAndPlainColourLayers) {
    std::string text = "10\n0\n";
    for (int mode = 0; mode <= 7; ++mode) text += Layer("t.tga", mode, kStill, 1);
    text += Layer("RT", 7, kStill, 1);
    text += Layer("feher.tga", 2, kStill, 1);
    InterfaceLayerSet set{};
    ifeParse(set, text, S("modes.ife"));
    ifeDraw(set, 0);
    auto lines = RecglTake();
    auto blend = RecglOnly(lines, "glBlendFunc(");
    EXPECT_EQ(blend, (std::vector<std::string>{
                         "glBlendFunc(GL_ONE, GL_ONE)",
                         "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)",
                         "glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA)",
                         "glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR)",
                         "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)",  // the feher.tga layer
                     }));
    // Mode 0 switches blending off; 5, 6, 7 and the RT layer's 7 touch nothing.
    EXPECT_EQ(RecglOnly(lines, "glDisable(GL_BLEND)").size(), 1u);
    EXPECT_EQ(RecglOnly(lines, "glEnable(GL_BLEND)").size(), 5u);
    // The frame copy is stored bottom-up: its top edge samples t = 1.
    auto tex = RecglOnly(lines, "glTexCoord2f(");
    ASSERT_EQ(tex.size(), 40u);
    EXPECT_EQ(std::vector<std::string>(tex.begin() + 32, tex.begin() + 36),
              (std::vector<std::string>{"glTexCoord2f(1, 1)", "glTexCoord2f(1, 0)", "glTexCoord2f(0, 0)",
                                        "glTexCoord2f(0, 1)"}));
    // The plain-colour layer (the last) samples no texture.
    auto lastQuad = std::find(lines.rbegin(), lines.rend(), "glBegin(GL_QUADS)");
    ASSERT_NE(lastQuad, lines.rend());
    EXPECT_EQ(*(lastQuad + 1), "glDisable(GL_TEXTURE_2D)");
    ifeFreeWith(set, nullptr);
}

TEST_F(IfeDrawTest, AnEmptySetOnlyDisablesAndKeepsTheStack) {
    InterfaceLayerSet set{};
    ifeParse(set, "0\n0\n", S("empty.ife"));
    ifeDraw(set, 0);
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{"glDisable(GL_LIGHTING)", "glDisable(GL_DEPTH_TEST)",
                                                     "glDisable(GL_ALPHA_TEST)", "glDisable(GL_CULL_FACE)",
                                                     "glMatrixMode(GL_MODELVIEW)", "glPushMatrix()",
                                                     "glMatrixMode(GL_MODELVIEW)", "glPopMatrix()"}));
}

TEST_F(IfeDrawTest, FrameAndGlowTexturesAreMadeAndCopied) {
    initFrameTexture();
    initGlowTexture();
    copyFrameTexture();
    auto lines = RecglTake();
    EXPECT_EQ(frameTextureSize, 256);
    EXPECT_EQ(glowTextureSize, 8);
    EXPECT_NE(frameTexture, glowTexture);
    EXPECT_EQ(RecglOnly(lines, "glTexImage2D(").size(), 2u);
    EXPECT_EQ(RecglOnly(lines, "glTexImage2D(")[0].rfind("glTexImage2D(GL_TEXTURE_2D, 0, 4, 256, 256, 0, GL_RGBA, "
                                                           "GL_UNSIGNED_BYTE, ",
                                                           0),
              0u);
    EXPECT_EQ(RecglOnly(lines, "glTexImage2D(")[1].rfind("glTexImage2D(GL_TEXTURE_2D, 0, 4, 8, 8, 0", 0), 0u);
    EXPECT_EQ(lines.back(), "glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 256, 256, 0)");
    EXPECT_EQ(lines[lines.size() - 2], "glBindTexture(GL_TEXTURE_2D, " + std::to_string(frameTexture) + ")");
}

}  // namespace
