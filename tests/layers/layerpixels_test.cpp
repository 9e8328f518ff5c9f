// Layers and text in a real GL context: what the viewer sees.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "frame/wm.h"
#include "glbind/glbind.h"
#include "layers/layers.h"
#include "player/font.h"
#include "player/loading.h"
#include "render/screenfx.h"
#include "support/glwindow.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

const int W = 320, H = 256;

struct LayerPixels : ::testing::Test {
    std::string dir;
    bool open = false;
    void SetUp() override {
        dir = MakeTempDir("layerpx");
        mkdir((dir + "/Textures").c_str(), 0755);
        WriteFile(dir + "/Textures/feher.tga", SolidTga(8, 8, 255, 255, 255));
        std::string why;
        open = OpenRealWindow(W, H, &why);
        ASSERT_TRUE(open) << why;
        initFrameTexture();
        initGlowTexture();
    }
    void TearDown() override {
        if (open) CloseRealWindow();
        RemoveTree(dir);
    }
    void load(InterfaceLayerSet& set, const std::string& text) {
        WriteFile(dir + "/set.ife", text);
        ifeLoad(set, S(dir + "/set.ife"), S(dir + "/Textures"));
    }
    void clearTo(float r, float g, float b) {
        GL.glViewport(0, 0, W, H);
        GL.glClearColor(r, g, b, 1);
        GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

int Channel(uint32_t px, int i) { return (int)(px >> (24 - 8 * i)) & 255; }

TEST_F(LayerPixels, AHalfAlphaPlainLayerHalvesThePicture) {
    InterfaceLayerSet set{};
    load(set, "1\n0\nfeher.tga\n\n\n1\n2\n0 512 384 0 0 1024 768 0 0 0 128\n");
    clearTo(200 / 255.0f, 100 / 255.0f, 50 / 255.0f);
    ifeDraw(set, 0);
    for (auto [x, y] : {std::pair{5, 5}, {160, 128}, {W - 3, H - 3}}) {
        uint32_t px = PixelAt(x, y);
        EXPECT_NEAR(Channel(px, 0), 100, 2) << x << "," << y;
        EXPECT_NEAR(Channel(px, 1), 50, 2);
        EXPECT_NEAR(Channel(px, 2), 25, 2);
    }
    // In its own colour when opaque, with no texture sampled.
    InterfaceLayerSet red{};
    load(red, "1\n0\nfeher.tga\n\n\n1\n0\n0 512 384 0 0 1024 768 255 0 0 255\n");
    ifeDraw(red, 0);
    EXPECT_EQ(PixelAt(100, 100) >> 8, 0xFF0000u);
}

TEST_F(LayerPixels, AFrameCopyShowsUpright) {
    // Into the 256 x 256 corner: a red upper half, a blue lower half.
    InterfaceLayerSet halves{};
    load(halves, "2\n0\n"
                 "feher.tga\n\n\n1\n0\n0 512 576 0 0 1024 384 255 0 0 255\n"
                 "feher.tga\n\n\n1\n0\n0 512 192 0 0 1024 384 0 0 255 255\n");
    clearTo(0, 0, 0);
    GL.glViewport(0, 0, 256, 256);
    ifeDraw(halves, 0);
    copyFrameTexture();
    clearTo(0, 1, 0);
    InterfaceLayerSet rt{};
    load(rt, "1\n0\nRT\n\n\n1\n0\n0 512 384 0 0 1024 768 255 255 255 255\n");
    ifeDraw(rt, 0);
    EXPECT_EQ(PixelAt(W / 2, H - 10) >> 8, 0xFF0000u);  // top of the screen: red
    EXPECT_EQ(PixelAt(W / 2, 10) >> 8, 0x0000FFu);      // bottom: blue
}

TEST_F(LayerPixels, TheLoadingLineIsVisibleAtTheBottom) {
    // A font whose every glyph but the blank is a full white box.
    std::string font(4, '\0');
    int32_t count = 2;
    std::memcpy(font.data(), &count, 4);
    std::string map(256, '\1');
    map[' '] = 0;
    font += map;
    Glyph blank{}, box{};
    blank.width = 63;
    box.width = 63;
    std::memset(box.pixels, 255, sizeof box.pixels);
    font.append((const char*)&blank, sizeof blank).append((const char*)&box, sizeof box);
    WriteFile(dir + "/fontset.3f", font);
    LoadFont(ShowFont, (dir + "/fontset.3f").c_str());
    LoadingStepCount = 0;
    GL.glClearColor(1, 1, 1, 1);
    GL.glClear(GL_COLOR_BUFFER_BIT);  // the step clears the frame itself
    LoadingStep();
    // The line takes the bottom 48 of 768 units: 16 of 256 pixels here.
    int lit = 0;
    for (int x = 0; x < W; x += 4) lit += Channel(PixelAt(x, 8), 0) > 100;
    EXPECT_GT(lit, 10);
    for (int x = 0; x < W; x += 4) EXPECT_EQ(PixelAt(x, 40) >> 8, 0u) << x;
    for (int x = 0; x < W; x += 4) EXPECT_EQ(PixelAt(x, H - 5) >> 8, 0u) << x;
}

}  // namespace
