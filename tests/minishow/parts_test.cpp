// The nine parts, each as the sequence of drawing steps it makes, and what
// they show, with the miniature show's data loaded into this process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "frame/wm.h"
#include "glbind/glbind.h"
#include "player/font.h"
#include "player/parts.h"
#include "player/show.h"
#include "player/showdata.h"
#include "player/timeline.h"
#include "recgl/recgl.h"
#include "render/screenfx.h"
#include "support/glwindow.h"
#include "support/minishow.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

const int W = 320, H = 256;

// The show's data loaded from a miniature show folder, on a clock that
// stands at 0 (virtual, never stepped).
struct LoadedShow {
    ShowHome home;
    char cwd[4096];
    explicit LoadedShow() {
        PutMiniShow(home);
        EXPECT_NE(getcwd(cwd, sizeof cwd), nullptr);
        EXPECT_EQ(chdir(home.dir.c_str()), 0);
        BindLinkedBase({"--step", "40"});
        Base.BS_TimerReset();
        LoadFont(ShowFont, "2ddata/fontset.3f");
        initFrameTexture();
        initGlowTexture();
        LoadShowData();
        Show = ShowState{};
        InstallShowParts();
    }
    ~LoadedShow() {
        EXPECT_EQ(chdir(cwd), 0);
        BindLinkedBase();
    }
    void loudness(int band4, int band5) {
        MusicLevels[4 * MusicBandLength] = (uint8_t)band4;
        MusicLevels[5 * MusicBandLength] = (uint8_t)band5;
    }
};

struct PartTrace : ::testing::Test {
    void SetUp() override {
        RecglUse();
        setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
        GlBind();
        GluBind();
        TlBind();
        tmReset();
        // A window manager that presents nothing and reports a 320 x 256 area.
        WM = WindowManagerModule{};
        WM.handle = (void*)&WM;
        WM.wmSetTitle = [](uint32_t, const char*) {};
        WM.wmUpdate = [] {};
        WM.wmOptions = [](int32_t option, uint32_t, intptr_t) -> intptr_t {
            return option == WM_OPTION_WIDTH ? W : option == WM_OPTION_HEIGHT ? H : 0;
        };
    }
    void TearDown() override {
        WM = WindowManagerModule{};
        TlUnbind();
        GluUnbind();
        GlUnbind();
    }
    std::vector<std::string> run(int part, float p2 = 2) {
        RecglTake();
        DemoParts[part - 1](400, 1, p2, 0, 0, 0);  // ft = 400 at clock 0
        return DrawingSteps(RecglTake(), W, H);
    }
};

using V = std::vector<std::string>;

TEST_F(PartTrace, EachPartMakesItsStepsInOrder) {
    LoadedShow show;
    EXPECT_EQ(run(1), (V{"clear", "scene", "stage", "depth", "particles", "particles", "layer@200", "layer@200",
                        "layer@0", "layer@200"}));
    EXPECT_EQ(run(2), (V{"clear", "stage", "depth", "layer@400", "layer@400", "layer@400", "layer@400",
                        "layer@400", "layer@0"}));
    EXPECT_EQ(run(4), (V{"clear", "scene", "stage", "particles", "depth", "layer@400", "layer@400", "layer@400"}));
    EXPECT_EQ(run(5), (V{"clear", "stage", "depth", "layer@512", "layer@0"}));
    EXPECT_EQ(run(6), (V{"clear", "small", "scene", "copy", "stage", "depth", "layer@200", "copy", "full", "clear",
                        "scene", "stage", "depth", "layer@512", "layer@1000", "layer@400", "layer@400", "layer@0"}));
    EXPECT_EQ(run(7), (V{"clear", "small", "scene", "copy", "stage", "depth", "layer@500", "copy", "full", "clear",
                        "scene", "stage", "depth", "layer@500", "layer@1000", "layer@400", "layer@400", "layer@0"}));
    EXPECT_EQ(run(8), (V{"clear", "scene", "stage", "particles", "depth", "layer@400", "layer@400", "layer@0"}));
    EXPECT_EQ(run(9), (V{"clear", "scene", "stage", "depth", "layer@400", "layer@400", "layer@0", "layer@400"}));
}

TEST_F(PartTrace, PartThreeBlursOnlyWhenLoudEnough) {
    LoadedShow show;
    // L = 0.19 + 0: b = 190 counts as 0, the picture is drawn directly.
    show.loudness(48, 0);  // 48 / 255 = 0.188
    EXPECT_EQ(run(3), (V{"clear", "full", "clear", "layer@400", "scene", "stage", "depth", "layer@400", "layer@400",
                        "layer@0"}));
    EXPECT_NEAR(ShowScenes[ShowScene::vexil2_anim].camerafov, (30 - 5 * 48 / 255.0) * M_PI / 180, 1e-5);
    // L = 0.5: the small picture, then the blur layer at 1000 - 500.
    show.loudness(64, 64);
    float L = 128 / 255.0f;
    auto steps = run(3);
    EXPECT_EQ(steps, (V{"clear", "small", "layer@400", "scene", "copy", "full", "clear", "stage", "depth",
                        "layer@512", "layer@400", "layer@400", "layer@0"}));
    EXPECT_NEAR(ShowScenes[ShowScene::vexil2_anim].camerafov, (30 - 5 * L) * M_PI / 180, 1e-5);
}

TEST_F(PartTrace, LoudnessMovesTheOtherParts) {
    LoadedShow show;
    show.loudness(255, 0);  // L = 1: v = 500 in parts 6 and 7, 1000 in part 4
    auto p6 = run(6);
    EXPECT_EQ(p6[14], "layer@500");  // the radial blur at 1000 - v
    auto p7 = run(7);
    EXPECT_EQ(p7[14], "layer@500");
    run(8);
    EXPECT_NEAR(ShowScenes[ShowScene::untitled_prefinal].camerafov, (90 - 30) * M_PI / 180, 1e-5);
    // A timeline entry with no divisor gives time 0, not an endless time.
    RecglTake();
    DemoParts[1](400, 0, 0, 0, 0, 0);
    EXPECT_EQ(DrawingSteps(RecglTake(), W, H)[3], "layer@0");
}

TEST(MusicLevel, ReadsTheFrameEndTimesSampleAndNeverPastTheTable) {
    ShowState saved = Show;
    for (int b = 0; b < MusicBands; ++b)
        for (int k = 0; k < MusicBandLength; ++k) MusicLevels[b * MusicBandLength + k] = (uint8_t)(k % 200 + b);
    Show.lastframeend = 0;
    EXPECT_FLOAT_EQ(MusicLevel(3), 3 / 255.0f);
    Show.lastframeend = 100000;  // sample 4410
    EXPECT_FLOAT_EQ(MusicLevel(0), (4410 % 200) / 255.0f);
    Show.lastframeend = 260000;  // past the table: its last sample
    EXPECT_FLOAT_EQ(MusicLevel(11), (11441 % 200 + 11) / 255.0f);
    Show.lastframeend = -5;
    EXPECT_FLOAT_EQ(MusicLevel(1), 1 / 255.0f);
    EXPECT_EQ(MusicLevel(12), 0);
    EXPECT_EQ(MusicLevel(-1), 0);
    Show = saved;
}

// ------------------------------------------------------------ pixels

struct PartPixels : ::testing::Test {
    bool open = false;
    void SetUp() override {
        std::string why;
        open = OpenRealWindow(W, H, &why, {"--nosound"});
        ASSERT_TRUE(open) << why;
    }
    void TearDown() override {
        if (open) CloseRealWindow();
    }
    uint32_t centre(int part) {
        DemoParts[part - 1](400, 1, 2, 0, 0, 0);
        return PixelAt(W / 2, H / 2) >> 8;
    }
};

TEST_F(PartPixels, PartFiveShowsItsWhiteLayer) {
    LoadedShow show;
    DemoParts[4](400, 1, 2, 0, 0, 0);
    for (auto [x, y] : {std::pair{2, 2}, {W / 2, H / 2}, {W - 2, H - 2}}) EXPECT_EQ(PixelAt(x, y) >> 8, 0xFFFFFFu);
}

TEST_F(PartPixels, PartThreeShowsTheBlurredSmallPictureOnlyWhenLoud) {
    LoadedShow show;
    show.loudness(20, 20);  // b = 157: direct
    uint32_t quiet = centre(3);
    EXPECT_EQ(quiet & 0xFF00FF, 0u);
    EXPECT_GT((quiet >> 8) & 255, 200u);  // the green box
    show.loudness(200, 200);  // b > 200: through the magenta-tinted copy
    uint32_t loud = centre(3);
    EXPECT_LT((loud >> 8) & 255, 40u) << std::hex << loud;
}

TEST_F(PartPixels, PartFourCutsToTheEnvironmentMappedSceneWhenLoud) {
    LoadedShow show;
    show.loudness(51, 51);  // v = 400: the plain scene
    uint32_t quiet = centre(4);
    EXPECT_GT((quiet >> 8) & 255, 200u) << std::hex << quiet;
    EXPECT_LT(quiet >> 16, 60u);
    show.loudness(52, 52);  // v = 407.8 > 404: the environment-mapped one
    uint32_t loud = centre(4);
    EXPECT_GT(loud >> 16, 200u) << std::hex << loud;
    EXPECT_LT((loud >> 8) & 255, 120u);
}

}  // namespace
