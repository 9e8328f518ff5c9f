// The text drawer, the loading screen and the status overlay as GL calls.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/wm.h"
#include "glbind/glbind.h"
#include "player/font.h"
#include "player/loading.h"
#include "recgl/recgl.h"
#include "support/support.h"

namespace {

std::vector<std::string> g_titles;
int g_updates = 0;

struct TextTest : ::testing::Test {
    Glyph glyphs[3]{};
    void SetUp() override {
        RecglBind();
        // A window manager that only notes titles and presents.
        WM = WindowManagerModule{};
        WM.handle = (void*)&WM;
        WM.wmSetTitle = [](uint32_t, const char* t) { g_titles.push_back(t); };
        WM.wmUpdate = [] { ++g_updates; };
        g_titles.clear();
        g_updates = 0;
        ShowFont = FontSet{};
        ShowFont.glyphs = glyphs;
        ShowFont.count = 3;
        std::memset(ShowFont.map, 0, 256);
        ShowFont.map['A'] = 1;
        ShowFont.map['i'] = 2;
        ShowFont.map['?'] = 9;  // no such glyph
        glyphs[0] = Glyph{{}, 63, 11};
        glyphs[1] = Glyph{{}, 63, 12};
        glyphs[2] = Glyph{{}, 0, 13};
    }
    void TearDown() override {
        WM = WindowManagerModule{};
        ShowFont = FontSet{};
        RecglUnbind();
    }
};

TEST_F(TextTest, OneQuadPerCharacterOverABackground) {
    // 512 wide glyph box: W = 0.5; 384 high: H = 0.5; no spacing.
    DrawText(ShowFont, 0, 0, 512, 384, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, S("A"));
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{
                               "glDisable(GL_DEPTH_TEST)",
                               "glDisable(GL_BLEND)",
                               "glDisable(GL_TEXTURE_2D)",
                               "glColor4f(0, 0, 0, 0)",
                               "glBegin(GL_QUADS)",
                               "glVertex2f(-1, 0)",
                               "glVertex2f(-1, 1)",
                               "glVertex2f(0, 1)",
                               "glVertex2f(0, 0)",
                               "glEnd()",
                               "glEnable(GL_TEXTURE_2D)",
                               "glBindTexture(GL_TEXTURE_2D, 12)",
                               "glEnable(GL_BLEND)",
                               "glBlendFunc(GL_ONE, GL_ONE)",
                               "glColor4f(1, 1, 1, 1)",
                               "glBegin(GL_QUADS)",
                               "glTexCoord2f(1, 0)",
                               "glVertex2f(-1, 0)",
                               "glTexCoord2f(0, 0)",
                               "glVertex2f(-1, 1)",
                               "glTexCoord2f(0, 1)",
                               "glVertex2f(0, 1)",
                               "glTexCoord2f(1, 1)",
                               "glVertex2f(0, 0)",
                               "glEnd()",
                               "glEnable(GL_DEPTH_TEST)",
                           }));
}

TEST_F(TextTest, ZeroWidthAndMissingGlyphsAdvanceBySpacingOnly) {
    // "i" is 0 wide, "?" has no glyph, the blank adds the space advance.
    DrawText(ShowFont, 0, 0, 512, 384, 1, 1, 1, 1, 0, 0, 0, 0, 256, 128, 3, 3, S("i? "));
    auto lines = RecglTake();
    auto vertices = RecglOnly(lines, "glVertex2f(");
    // Background right end: -1 + 3 spacings (0.125 each), the blank's glyph
    // (glyph 0, full width: 1) and one space advance (0.25).
    EXPECT_EQ(vertices[2], "glVertex2f(0.625, 1)");
    // Glyphs drawn: "i" (zero wide, at -1) and the blank's glyph 0; "?" is not.
    EXPECT_EQ(RecglOnly(lines, "glBindTexture(").size(), 2u);
    EXPECT_EQ(vertices[4], "glVertex2f(-1, 0)");
    EXPECT_EQ(vertices[6], "glVertex2f(-1, 1)");
    EXPECT_EQ(lines.back(), "glEnable(GL_DEPTH_TEST)");
}

TEST_F(TextTest, EmptyTextDrawsAZeroWidthBackgroundAndNoGlyph) {
    DrawText(ShowFont, 720, 4, 50, 48, 0.8f, 0.8f, 0.8f, 1, 0, 0, 0, 0, 32, 1, 2, 2, S(""));
    auto lines = RecglTake();
    auto v = RecglOnly(lines, "glVertex2f(");
    ASSERT_EQ(v.size(), 4u);
    // x 4 -> -0.9921875; the bottom 48 units of the 768 high screen.
    EXPECT_EQ(v[0], "glVertex2f(-0.9921875, -1)");
    EXPECT_EQ(v[1], "glVertex2f(-0.9921875, -0.875)");
    EXPECT_EQ(v[2], "glVertex2f(-0.9921875, -0.875)");
    EXPECT_TRUE(RecglOnly(lines, "glBindTexture(").empty());
    EXPECT_EQ(lines.back(), "glEnable(GL_DEPTH_TEST)");
}

TEST_F(TextTest, LoadingStepsCountTo43AndKeepTheTextWellFormed) {
    LoadingStepCount = 0;
    for (int i = 0; i < 44; ++i) LoadingStep();
    ASSERT_EQ(g_titles.size(), 44u);
    EXPECT_EQ(g_updates, 44);
    const std::string p = "\"embercorvinth - vexil2\"  loading : ";
    EXPECT_EQ(g_titles[0], p + "2 %  [----------]");
    EXPECT_EQ(g_titles[1], p + "5 %  [----------]");
    EXPECT_EQ(g_titles[2], p + "7 %  [#---------]");
    EXPECT_EQ(g_titles[4], p + "12 %  [#---------]");
    EXPECT_EQ(g_titles[6], p + "16 %  [##--------]");
    EXPECT_EQ(g_titles[10], p + "26 %  [###-------]");
    EXPECT_EQ(g_titles[15], p + "37 %  [####------]");
    EXPECT_EQ(g_titles[19], p + "47 %  [#####-----]");
    EXPECT_EQ(g_titles[21], p + "51 %  [#####-----]");
    EXPECT_EQ(g_titles[23], p + "56 %  [######----]");
    EXPECT_EQ(g_titles[27], p + "65 %  [#######---]");
    EXPECT_EQ(g_titles[32], p + "77 %  [########--]");
    EXPECT_EQ(g_titles[36], p + "86 %  [#########-]");
    EXPECT_EQ(g_titles[40], p + "95 %  [##########]");
    EXPECT_EQ(g_titles[42], p + "100 %  [##########]");
    EXPECT_EQ(g_titles[43], p + "102 %  [##########]");
    EXPECT_TRUE(LoadingText(200) == " loading : 465 %  [##########]");
}

TEST_F(TextTest, ALoadingStepLeavesTheModelviewStackAsItWas) {
    LoadingStepCount = 0;
    LoadingStep();
    auto lines = RecglTake();
    EXPECT_EQ(RecglOnly(lines, "glPushMatrix(").size(), RecglOnly(lines, "glPopMatrix(").size());
    // Matrices as the text drawer needs them, before the text.
    auto first = std::find(lines.begin(), lines.end(), "glDisable(GL_DEPTH_TEST)");
    std::vector<std::string> before(lines.begin(), first);
    EXPECT_TRUE(std::find(before.begin(), before.end(), "glMatrixMode(GL_PROJECTION)") != before.end());
    EXPECT_EQ(lines[lines.size() - 2], "glDisable(GL_TEXTURE_2D)");
    EXPECT_EQ(lines.back(), "glPopMatrix()");
}

TEST_F(TextTest, TheOverlayDrawsItsLineAndTwelveBars) {
    const std::string text = "fps:60.0] v/a:on/on afps:59.9 time:1000";
    DrawStatusOverlay(S(text));
    auto lines = RecglTake();
    // The line (a background and one quad per character), then 12 bars.
    EXPECT_EQ(RecglOnly(lines, "glBegin(GL_QUADS)").size(), 1u + text.size() + 12u);
    auto colour = std::find(lines.begin(), lines.end(), "glColor3f(0.8, 0.8, 0.8)");
    ASSERT_NE(colour, lines.end());
    EXPECT_EQ(*(colour - 1), "glDisable(GL_TEXTURE_2D)");
    // The first bar stands at the bottom from x 0.3 to 0.34.
    EXPECT_EQ(*(colour + 2), "glVertex2f(0.3, -1)");
    EXPECT_EQ(*(colour + 3), "glVertex2f(0.34, -1)");
    EXPECT_EQ(lines[lines.size() - 3].rfind("glVertex2f(0.89", 0), 0u) << lines[lines.size() - 3];
}

}  // namespace
