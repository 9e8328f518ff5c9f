// The player in-process: the play loop, the show data, the parts, the text,
// the loading screen and the overlay (on a clock, keys and a 320 x 256 window
// of the test's own, drawn by the recording GL); the font and timeline files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <tuple>

#include "player/author.h"
#include "player/font.h"
#include "player/loading.h"
#include "player/parts.h"
#include "player/show.h"
#include "player/showdata.h"
#include "recgl/recgl.h"
#include "render/particles.h"
#include "render/screenfx.h"
#include "render/settings.h"
#include "support/glwindow.h"
#include "support/minishow.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

int32_t g_clock = 0, g_step = 1000;
uint8_t g_keys[WM_KEY_COUNT];
std::vector<std::string> g_titles;
using Lines = std::vector<std::string>;

// The run-time error `f` stops with, 0 when it ends.
int RunErrorOf(const std::function<void()>& f) {
    ThrowOnFailure guard;
    try {
        f();
    } catch (const Failure& e) {
        return e.kind == FailRunError ? e.code : -1;
    }
    return 0;
}

struct PlayTest : ::testing::Test {
    BaseServices savedBase = Base;
    Glyph glyphs[3] = {{{}, 63, 11}, {{}, 63, 12}, {{}, 0, 13}};
    void SetUp() override {
        RecglBind();
        Base.BS_TimerGet = [] { return g_clock; };
        Base.BS_TimerReset = [] { g_clock = 0; };
        g_clock = 0, g_step = 1000, g_titles.clear();
        memset(g_keys, 0, sizeof g_keys);
        WM = WindowManagerModule{};
        WM.handle = &WM;
        WM.wmUpdate = [] { g_clock += g_step; };
        WM.wmSetTitle = [](uint32_t, const char* t) { g_titles.push_back(t); };
        WM.wmOptions = [](int32_t option, uint32_t, intptr_t) -> intptr_t {
            return option == WM_OPTION_WIDTH ? 320 : option == WM_OPTION_HEIGHT ? 256 : 0;
        };
        Window = WindowState{3, nullptr, g_keys};
        Show = ShowState{};
        Show.fpstext = S("0.0");
        Show.video = anisotropyEnabled = true;
        ShowFont = FontSet{glyphs, 3, {}};
        ShowFont.map['A'] = 1, ShowFont.map['i'] = 2, ShowFont.map['?'] = 9;  // '?': no such glyph
    }
    void TearDown() override {
        FreeTimeline(ShowTimeline);
        Base = savedBase;
        TlUnbind();
        RecglUnbind();
        EXPECT_TRUE(!*cwd || chdir(cwd) == 0);
    }
    char cwd[4096] = "";
    ShowHome home;
    void enterHome() {
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(chdir(home.dir.c_str()), 0);
    }
    // The miniature show's data loaded as the program loads it; the clock
    // back at 0.
    void loadShow() {
        PutMiniShow(home);
        enterHome();
        setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
        TlBind();
        tmReset();
        initFrameTexture();
        LoadingStepCount = 0;
        LoadShowData();
        InstallShowParts();
        g_clock = 0;
    }
};

TEST(OneDecimal, OneDigitAfterThePointNoBlanksHalvesAwayFromZero) {
    for (auto [value, text] : {std::pair<double, const char*>{0, "0.0"}, {57.25, "57.3"}, {57.24, "57.2"},
                               {0.05, "0.1"}, {2.0 / 3.0, "0.7"}, {99.96, "100.0"}, {1234.5678, "1234.6"},
                               {0.04, "0.0"}})
        EXPECT_EQ(str(OneDecimal(value)), text) << value;
}

TEST_F(PlayTest, RatesAndStatusFollowTheClockFrameByFrame) {
    g_step = 100;
    for (int i = 0; i < 10; ++i) ShowFrame();
    // Frame 10 was drawn at 900 ms: ten frames in 0.9 s on average, none a
    // full second after the start yet.
    EXPECT_EQ(g_titles.back(), "\"embercorvinth - vexil2\" fps:0.0] v/a:on/on afps:11.1 time:900");
    ShowFrame();  // at 1000 ms: 11 frames in the first second
    EXPECT_EQ(str(Show.statustext), "fps:11.0] v/a:on/on afps:11.0 time:1000");
    for (int i = 0; i < 10; ++i) ShowFrame();  // 1100 .. 2000 ms: 10 more
    EXPECT_EQ(str(Show.statustext), "fps:10.0] v/a:on/on afps:10.5 time:2000");
    anisotropyEnabled = false;
    Show.video = false;
    g_step = 1200;
    ShowFrame();
    ShowFrame();  // two frames in the last 1.3 s
    EXPECT_EQ(g_titles.back(), "\"embercorvinth - vexil2\" fps:1.5] v/a:off/off afps:7.0 time:3300");
    EXPECT_EQ(g_titles.size(), 23u);
    EXPECT_EQ(Show.lastframeend, 4500);  // read after the frame was presented
}

// Space toggles the overlay when it is let go, not while it is held.
TEST_F(PlayTest, HoldingSpaceDoesNotToggleReleasingItDoesOnce) {
    for (auto [key, shown] : {std::pair<uint8_t, bool>{0, false}, {1, false}, {1, false}, {0, true}, {0, true},
                              {0x80, true}, {0, false}}) {
        g_keys[WM_KEY_SPACE] = key;
        ShowFrame();
        EXPECT_EQ(Show.overlayshown, shown) << "frame " << Show.totalframes;
    }
}

TEST_F(PlayTest, StartOfPlayResetsTheCountersAndTheClock) {
    home.put("2ddata/timeline.cfg", TimelineLine(0, 3, 0, 40, 40));
    enterHome();
    Show = ShowState{9, 9, 9, S("9.9"), S("9.9"), S("9.9"), 9, false, true, 0, false};
    g_clock = 77777;
    LogCapture log;
    ShowStartPlay();
    EXPECT_EQ(std::vector<int>({Show.totalframes, Show.fpsframes, Show.lastfpsupdate, Show.lastframeend, g_clock,
                                Show.overlayshown, Show.video, ShowTimeline.count, ShowTimeline.entries[0].part}),
              std::vector<int>({0, 0, 0, 0, 0, false, true, 1, 3}));
    EXPECT_EQ(str(Show.fpstext), "0.0");
    EXPECT_EQ(g_titles, Lines{"\"ember!corvinth - vexil2\""});
    EXPECT_EQ(log.lines(), Lines{"--- playing..."});
}

TEST_F(PlayTest, OneQuadPerCharacterOverABackgroundAndNothingForMissingGlyphs) {
    // 512 wide glyph box: W = 0.5; 384 high: H = 0.5; no spacing.
    DrawText(ShowFont, 0, 0, 512, 384, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, S("A"));
    EXPECT_EQ(RecglTake(),
              (Lines{"glDisable(GL_DEPTH_TEST)", "glDisable(GL_BLEND)", "glDisable(GL_TEXTURE_2D)",
                     "glColor4f(0, 0, 0, 0)", "glBegin(GL_QUADS)", "glVertex2f(-1, 0)", "glVertex2f(-1, 1)",
                     "glVertex2f(0, 1)", "glVertex2f(0, 0)", "glEnd()", "glEnable(GL_TEXTURE_2D)",
                     "glBindTexture(GL_TEXTURE_2D, 12)", "glEnable(GL_BLEND)", "glBlendFunc(GL_ONE, GL_ONE)",
                     "glColor4f(1, 1, 1, 1)", "glBegin(GL_QUADS)", "glTexCoord2f(1, 0)", "glVertex2f(-1, 0)",
                     "glTexCoord2f(0, 0)", "glVertex2f(-1, 1)", "glTexCoord2f(0, 1)", "glVertex2f(0, 1)",
                     "glTexCoord2f(1, 1)", "glVertex2f(0, 0)", "glEnd()", "glEnable(GL_DEPTH_TEST)"}));
    // "i" is 0 wide, "?" has no glyph, the blank adds the space advance: the
    // background ends at -1 + 3 spacings of 0.125, the blank's glyph 0 (1
    // wide) and 0.25; "i" is drawn at -1, the blank's glyph after it.
    DrawText(ShowFont, 0, 0, 512, 384, 1, 1, 1, 1, 0, 0, 0, 0, 256, 128, 3, 3, S("i? "));
    Lines lines = RecglTake(), vertices = RecglOnly(lines, "glVertex2f(");
    EXPECT_EQ(Lines(vertices.begin(), vertices.begin() + 7),
              (Lines{"glVertex2f(-1, 0)", "glVertex2f(-1, 1)", "glVertex2f(0.625, 1)", "glVertex2f(0.625, 0)",
                     "glVertex2f(-1, 0)", "glVertex2f(-1, 1)", "glVertex2f(-1, 1)"}));
    EXPECT_EQ(RecglOnly(lines, "glBindTexture(").size(), 2u);
    // An empty text: a zero-wide background at the bottom 48 of 768 units.
    DrawText(ShowFont, 720, 4, 50, 48, 0.8f, 0.8f, 0.8f, 1, 0, 0, 0, 0, 32, 1, 2, 2, S(""));
    EXPECT_EQ(RecglOnly(RecglTake(), "glVertex2f("),
              (Lines{"glVertex2f(-0.9921875, -1)", "glVertex2f(-0.9921875, -0.875)", "glVertex2f(-0.9921875, -0.875)",
                     "glVertex2f(-0.9921875, -1)"}));
}

TEST_F(PlayTest, LoadingStepsCountTo43InTheTitleAndLeaveTheStackAsItWas) {
    LoadingStepCount = 0;
    RecglTake();
    LoadingStep();
    Lines lines = RecglTake();
    EXPECT_EQ(RecglOnly(lines, "glPushMatrix(").size(), RecglOnly(lines, "glPopMatrix(").size());
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"glDisable(GL_TEXTURE_2D)", "glPopMatrix()"}));
    for (int i = 1; i < 44; ++i) LoadingStep();
    ASSERT_EQ(g_titles.size(), 44u);
    EXPECT_EQ(g_clock, 44000);  // each step presented
    const std::pair<int, const char*> shown[] = {
        {0, "2 %  [----------]"},   {1, "5 %  [----------]"},   {2, "7 %  [#---------]"},  {4, "12 %  [#---------]"},
        {6, "16 %  [##--------]"},  {21, "51 %  [#####-----]"}, {23, "56 %  [######----]"}, {40, "95 %  [##########]"},
        {42, "100 %  [##########]"}, {43, "102 %  [##########]"}};
    for (auto [step, text] : shown)
        EXPECT_EQ(g_titles[step], std::string("\"embercorvinth - vexil2\"  loading : ") + text);
    EXPECT_EQ(str(LoadingText(200)), " loading : 465 %  [##########]");
}

TEST_F(PlayTest, TheOverlayDrawsItsLineAndTwelveBarsOfTheLevels) {
    const std::string text = "fps:60.0] v/a:on/on afps:59.9 time:1000";
    MusicLevels[11 * MusicBandLength] = 255;
    DrawStatusOverlay(S(text));
    MusicLevels[11 * MusicBandLength] = 0;
    Lines lines = RecglTake();
    // The line (a background and one quad per character), then 12 bars: the
    // first from x 0.3 to 0.34 at the bottom, the last at full loudness.
    EXPECT_EQ(RecglOnly(lines, "glBegin(GL_QUADS)").size(), 1u + text.size() + 12u);
    EXPECT_TRUE(InOrder(lines, {"glEnd()", "glDisable(GL_TEXTURE_2D)", "glColor3f(0.8, 0.8, 0.8)", "glBegin(GL_QUADS)",
                                "glVertex2f(0.3, -1)", "glVertex2f(0.34, -1)"}));
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
              (Lines{"glVertex2f(0.85, -1)", "glVertex2f(0.89, -1)", "glVertex2f(0.89, -0.9)", "glVertex2f(0.85, -0.9)",
                     "glEnd()"}));
}

TEST_F(PlayTest, TheLoadedShowHasTexturesAndPoolsWhereDueAndEachPartDrawsItsScenesAndLayersAtItsTimes) {
    loadShow();
    EXPECT_EQ(LoadingStepCount, 43);
    std::string scenes;
    for (const Scene& s : ShowScenes)
        scenes += str(s.name) + (s.materials[0].glname ? " textured " : " bare ") + std::to_string(s.particlecount) +
                  ", ";
    EXPECT_EQ(scenes, "kard_anim textured 5000, vexil2_anim textured 0, vexildog_anim textured 5000, "
                      "vexildog_anim_envmap textured 0, controlroom_shadow_optimized textured 0, "
                      "kocka_anim textured 5000, untitled_prefinal textured 5000, sarkany bare 0, ");
    // Each part at part time 300 (offset 300, divisor 1) but where told, with
    // the loudness of bands 4 and 5 given.
    const std::tuple<int, float, float, int, int, const char*> cases[] = {  // part, p1, p2, bands 4 and 5, steps
        // Part time 200, the layers' time on p2: 50.
        {1, 1.5f, 6, 0, 0, "clear kard_anim@200 stage depth particles:kard_anim@300 particles:kard_anim@700 eleje@50 "
                           "fadeout@50 border@0 fadein@50"},
        {2, 1, 0, 0, 0, "clear stage depth kek2@300 kek1@300 focim@300 credits@300 xfade@300 border@0"},
        // Guards a zero divisor: part time 0, not an endless time.
        {2, 0, 0, 0, 0, "clear stage depth kek2@0 kek1@0 focim@0 credits@0 xfade@0 border@0"},
        // L = 0.188: b = 188 counts as 0, the picture is drawn directly; at
        // L = 0.2, b = 200: the small picture through the blur at 1000 - b.
        {3, 1, 0, 24, 24, "clear full clear kerethatul@300 vexil2_anim@300 fov=29.1 stage depth ketto@300 xfade@300 "
                          "border@0"},
        {3, 1, 0, 51, 0, "clear small kerethatul@300 vexil2_anim@300 fov=29 copy full clear stage depth "
                         "blur_8_full@800 ketto@300 xfade@300 border@0"},
        // v = 403.9, then 407.8: past 404 the environment-mapped twin, backwards.
        {4, 1, 0, 51, 52, "clear vexildog_anim@300 stage particles:vexildog_anim@300 depth csont@300 xfade@300 "
                          "border@300"},
        {4, 1, 0, 52, 52, "clear vexildog_anim_envmap@700 stage particles:vexildog_anim@300 depth csont@300 xfade@300 "
                          "border@300"},
        {5, 1, 0, 0, 0, "clear stage depth greetings@300 border@0"},
        // v = 100 keeps the time, v = 500 jumps to 1000 - ft; the radial blur at 1000 - v.
        {6, 1, 0, 51, 0, "clear small controlroom_shadow_optimized@300 copy stage depth glow_sotetit@200 copy full "
                         "clear controlroom_shadow_optimized@300 stage depth blur_8_full@0 radialblur@900 starmap@300 "
                         "xfade@300 border@0"},
        {6, 1, 0, 128, 127, "clear small controlroom_shadow_optimized@700 copy stage depth glow_sotetit@200 copy full "
                            "clear controlroom_shadow_optimized@700 stage depth blur_8_full@0 radialblur@500 "
                            "starmap@300 xfade@300 border@0"},
        // v = 500 keeps the small picture's time, v = 1000 jumps; the big one lags by v / 100.
        {7, 1, 0, 255, 0, "clear small kocka_anim@300 copy stage depth glow_sotetit@500 copy full clear kocka_anim@295 "
                          "stage depth blur_4_full@500 radialblur@500 starmap2@300 xfade@300 border@0"},
        {7, 1, 0, 255, 255, "clear small kocka_anim@700 copy stage depth glow_sotetit@500 copy full clear "
                            "kocka_anim@290 stage depth blur_4_full@500 radialblur@0 starmap2@300 xfade@300 border@0"},
        // Only band 4 narrows the view: 90 - 30 × 0.2.
        {8, 1, 0, 51, 255, "clear untitled_prefinal@670 fov=84 stage particles:untitled_prefinal@670 depth harom@300 "
                           "xfade@300 border@0"},
        {9, 1, 0, 0, 0, "clear sarkany@380 stage depth vege@300 fadein@300 border@0 fadeout@300"},
    };
    for (auto [part, p1, p2, band4, band5, steps] : cases) {
        MusicLevels[4 * MusicBandLength] = (uint8_t)band4;
        MusicLevels[5 * MusicBandLength] = (uint8_t)band5;
        RecglTake();
        DemoParts[part - 1](300, p1, p2, 0, 0, 0);
        EXPECT_EQ(DrawingSteps(RecglTake(), 320, 256), steps) << "part " << part << ", loudness " << band4;
    }
}

// Author mode: a changed file is drawn at once, a broken one keeps the old
// data and says why, a replaced scene gives its memory back, a jump empties
// the particle pools.
TEST_F(PlayTest, AuthorReloadsChangedFilesKeepsOldDataOnFailureAndJumpsEmptyThePools) {
    loadShow();
    Base.BS_CfgGet = [](const char* k) -> const char* { return strcmp(k, "--author") == 0 ? "" : nullptr; };
    Base.BS_TimerSet = [](int32_t ms) { g_clock = ms; };
    auInit();
    ReadTimeline(ShowTimeline, "2ddata/timeline.cfg");
    LogCapture log;
    auto part5 = [] {
        RecglTake();
        DemoParts[4](300, 1, 0, 0, 0, 0);
        return DrawingSteps(RecglTake(), 320, 256);
    };
    auto texture = [](const char* name) {
        for (const TextureEntry& e : TextureManager)
            if (!e.empty && e.name == std::string_view(name)) return e.glRef;
        return 0u;
    };
    uint32_t spark = texture("Textures/spark.tga");
    ASSERT_NE(spark, 0u);
    home.put("2ddata/greetings.ife", ReadFileText(home.path("2ddata/border.ife")) + "\n");
    home.put("Textures/spark.tga", SolidTga(2, 2, 1, 2, 3));
    RecglTake();
    auReloadChanged();
    Lines uploads = RecglOnly(RecglTake(), "glBindTexture(");
    EXPECT_EQ(part5(), "clear stage depth border@300 border@0");
    EXPECT_EQ(texture("Textures/spark.tga"), spark);  // the same name, a new image
    EXPECT_EQ(uploads, Lines{"glBindTexture(GL_TEXTURE_2D, " + std::to_string(spark) + ")"});
    size_t blocks = Base.BS_MemCount();
    auto slots = [] { return std::count_if(TextureManager, TextureManager + TextureSlots, [](auto& e) { return !e.empty; }); };
    long used = slots();
    home.put("2ddata/csont.ife", "1\n0\nnothere.tga\n\n\n1\n0\n0 0 0 0 0 0 0 0 0 0 0\n");
    home.put("2ddata/greetings.ife", "x\n");
    home.put("Textures/spark.tga", "not an image");
    std::string scene = ReadFileText(home.path("3ddata/kard_anim.vlm"));
    home.put("3ddata/kard_anim.vlm", scene.substr(0, scene.size() / 2));
    auReloadChanged();
    EXPECT_EQ(part5(), "clear stage depth border@300 border@0");
    EXPECT_EQ(Base.BS_MemCount(), blocks);
    EXPECT_EQ(slots(), used);  // the texture that never loaded leaves no slot taken
    home.put("3ddata/kard_anim.vlm", scene);
    for (int i = 0; i < 100; ++i) ReplaceShowScene(ShowScene::kard_anim);
    EXPECT_EQ(Base.BS_MemCount(), blocks);
    EXPECT_EQ(ShowScenes[ShowScene::kard_anim].particlecount, 5000);
    EXPECT_NE(ShowScenes[ShowScene::kard_anim].materials[0].glname, 0u);
    Lines said = log.lines();
    EXPECT_TRUE(InOrder(said, {"[author] reload Textures/spark.tga", "[author] reload 2ddata/greetings.ife",
                               "[author] reload failed: Textures/spark.tga: the texture loader cannot read it",
                               "[author] reload failed: 2ddata/csont.ife: Error occoured ! Texture Loader Error. ( "
                               "Textures/nothere.tga )"}));
    EXPECT_NE(FindLine(said, "[author] reload failed: 2ddata/greetings.ife: run-time error 106: \"x\" is an invalid "
                             "integer"), -1);
    EXPECT_TRUE(auStatusText(0).starts_with("time:0 part:1 entry:1/9 (0) | reload failed: 2ddata/greetings.ife: run"));
    // Particles from the running show are gone after a jump.
    DemoParts[0](0, 40, 40, 0, 0, 0);
    auto live = [] {
        int n = 0;
        for (const Scene& s : ShowScenes)
            for (int32_t i = 0; i < s.particlecount; ++i) n += s.particles[i].free == 0;
        return n;
    };
    EXPECT_GT(live(), 0);
    auSeek(300000);
    EXPECT_EQ(live(), 0);
    EXPECT_EQ(g_clock, 250000);
    auDone();
}

// Guards MusicLevel reading outside its table: before its first sample, past its last, bands outside 0..11.
TEST(MusicLevels, AreReadWholeAndNeverOutsideTheTable) {
    std::string dir = MakeTempDir("levels"), table;
    for (int b = 0; b < MusicBands; ++b)
        for (int k = 0; k < MusicBandLength; ++k) table += (char)(k % 200 + b);
    WriteFile(dir + "/short.rms", table.substr(1));
    WriteFile(dir + "/whole.rms", table + "longer files are read that far");
    EXPECT_EQ(RunErrorOf([&] { ReadMusicLevels((dir + "/short.rms").c_str()); }), 100);
    EXPECT_EQ(RunErrorOf([&] { ReadMusicLevels((dir + "/whole.rms").c_str()); }), 0);
    RemoveTree(dir);
    const int cases[][3] = {{0, 3, 3}, {100000, 0, 4410 % 200}, {260000, 11, 11441 % 200 + 11}, {-5, 1, 1},
                            {0, 12, 0}, {0, -1, 0}};  // frame end ms, band, level
    for (const auto& c : cases) {
        Show.lastframeend = c[0];
        EXPECT_FLOAT_EQ(MusicLevel(c[1]), c[2] / 255.0f) << c[0] << " ms, band " << c[1];
    }
}

// A font file of `count` glyphs ('A' is glyph 1, 'z' beyond the count).
std::string FontFile(int32_t count, uint32_t texture = 0xDEADBEEF) {
    std::string d((const char*)&count, 4), map(256, '\0');
    map['A'] = 1, map['z'] = 200;
    d += map;
    for (int i = 0; i < count; ++i) {
        Glyph g{{}, i == 0 ? 0 : 10 + i, texture};  // the file's texture field is never used
        g.pixels[5] = (uint8_t)(i + 1);
        d.append((const char*)&g, sizeof g);
    }
    return d;
}

TEST(FontSet, ReadsGlyphsAndMapAndWritesThemBack) {
    FontSet f{};
    fontParse(f, FontFile(3) + "trailing bytes are not read", "f.3f");
    ASSERT_EQ(f.count, 3);
    EXPECT_EQ(f.glyphs[1].texture, 0u);
    EXPECT_EQ(fontGlyph(f, 'A'), &f.glyphs[1]);
    EXPECT_EQ(fontGlyph(f, 'z'), nullptr);  // a map entry at or above the count
    std::string dir = MakeTempDir("font"), why;
    ASSERT_TRUE(SaveFont(f, (dir + "/out.3f").c_str(), &why)) << why;
    EXPECT_EQ(ReadFileText(dir + "/out.3f"), FontFile(3, 0));
    RemoveTree(dir);
}

// Guards counts a file cannot hold: a run-time error, never a read past the data.
TEST(FontSet, ShortOrNegativeFilesAreReadErrors) {
    for (std::string data : {std::string(), FontFile(2).substr(0, 259), FontFile(2).substr(0, 260 + 4104 * 2 - 1),
                             FontFile(-1)})
        EXPECT_EQ(RunErrorOf([&] { FontSet f{}; fontParse(f, data, "f.3f"); }), 100) << data.size() << " bytes";
}

// One line in the file's fixed columns (p3 and p4 are 1 and 2).
std::string Line(const char* label, int start, int part, int offset = 0, float p1 = 0, float p2 = 0, float p5 = 0) {
    char b[128];
    snprintf(b, sizeof b, "%-17.17s%6d %2d %7d %8.3f %7.3f %7.3f %7.3f %7.3f\n", label, start, part, offset, p1, p2,
             1.0, 2.0, p5);
    return b;
}

// The entries read, "start part offset p1 p2 p3 p4 p5; " each.
std::string Entries(const std::string& text) {
    Timeline tl{};
    ParseTimeline(tl, text.data(), text.size());
    std::string out;
    for (int i = 0; i < tl.count; ++i) {
        const TimelineEntry& e = tl.entries[i];
        char b[160];
        snprintf(b, sizeof b, "%d %d %d %g %g %g %g %g; ", e.start, e.part, e.offset, e.p1, e.p2, e.p3, e.p4, e.p5);
        out += b;
    }
    EXPECT_EQ(tl.entries[tl.count].start, TimelineSentinel);
    FreeTimeline(tl);
    return out;
}

TEST(Timeline, EntriesAreReadFromTheirColumnsAndSortedStably) {
    std::string longLine = Line("long", 5000, 6, 10, 2, 3);
    longLine.insert(longLine.size() - 1, std::string(400, '9') + "\r");  // cut at 255
    std::string malformed = Line("m", 100, 2, 5, 1.5f, 2);
    malformed.replace(35, 8, "  1.5abc").replace(17, 6, "  1x00");
    std::string badPart = Line("bad", 300, 1), blank(17, ' ');
    badPart[24] = 'x';
    const std::tuple<const char*, std::string, std::string> cases[] = {  // name, text, entries
        {"columns", Line("intro", 1500, 3, -60000, 40, 2.5f, 3), "1500 3 -60000 40 2.5 1 2 3; "},
        {"sorted",
         Line("c", 60000, 5) + Line("a", 0, 2) + Line("tie1", 30000, 7) + Line("tie2", 30000, 8) + Line("b", 10000, 4),
         "0 2 0 0 0 1 2 0; 10000 4 0 0 0 1 2 0; 30000 7 0 0 0 1 2 0; 30000 8 0 0 0 1 2 0; 60000 5 0 0 0 1 2 0; "},
        {"not entries",
         "# a comment with 12345 in column 18..\n\nshort line\n" + Line("zero", 100, 0) + Line("neg", 200, -1) +
         badPart + Line("above 9", 400, 12), "400 12 0 0 0 1 2 0; "},
        // Cut after the part field, inside it, and ended by CR LF.
        {"short", blank + "  1000  4\n" + blank + "  2000  \n" + blank + "  3000 3\r\n",
         "1000 4 0 0 0 0 0 0; 3000 3 0 0 0 0 0 0; "},
        {"long", longLine + Line("next", 7000, 1, 0, 4, 5), "5000 6 10 2 3 1 2 0; 7000 1 0 4 5 1 2 0; "},
        {"malformed", malformed, "0 2 5 0 2 1 2 0; "},
        {"empty", "", ""},
    };
    for (const auto& [name, text, entries] : cases) EXPECT_EQ(Entries(text), entries) << name;
}

TEST(Timeline, TheDueEntryIsTheLastStartedOneBeforeTheSentinel) {
    // Guards the stable sort: of 40 entries with one start, the last in the file is due.
    std::string text = Line("p2", 0, 2);
    for (int i = 0; i < 40; ++i) text += Line("tie", 60000, 5, i);
    Timeline tl{};
    ParseTimeline(tl, text.data(), text.size());
    for (auto [t, due] : {std::pair{-1, -1}, {0, 0}, {59999, 0}, {60000, 40}, {99999998, 40}, {99999999, -1}})
        EXPECT_EQ(TimelineLookup(tl, t), due) << t;
    EXPECT_EQ(tl.entries[40].offset, 39);
    FreeTimeline(tl);
    EXPECT_EQ(TimelineLookup(Timeline{}, 0), -1);
}

// velmar prints the program's own reading: every column and the entry due at each time.
TEST(VelmarTimeline, PrintsEveryColumnSortedAndTheEntryDueAtEachTime) {
    std::string dir = MakeTempDir("velmar-timeline");
    WriteFile(dir + "/t.cfg", Line("b", 2000, 4, -1500, 0.5f, 3) + Line("a", 500, 9, 77, 2, 0.25f, 6));
    RunResult r = RunProgram({ShowDir() + "/velmar", "timeline", dir + "/t.cfg", "--at", "499", "--at", "2000"});
    EXPECT_EQ(std::to_string(r.code) + " " + r.out,
              "0 {\"entries\":[{\"start\":500,\"part\":9,\"offset\":77,\"p1\":2,\"p2\":0.25,\"p3\":1,\"p4\":2,"
              "\"p5\":6},{\"start\":2000,\"part\":4,\"offset\":-1500,\"p1\":0.5,\"p2\":3,\"p3\":1,\"p4\":2,"
              "\"p5\":0}],\"due\":[{\"t\":499,\"index\":null,\"part\":null},{\"t\":2000,\"index\":1,\"part\":4}]}\n");
}

std::vector<std::vector<float>> g_ran;
void Ran(int32_t o, float a, float b, float c, float d, float e) { g_ran.push_back({(float)o, a, b, c, d, e}); }

TEST(Timeline, DispatchRunsOnlyParts1To9WithTheEntrysMapping) {
    std::fill(DemoParts, DemoParts + 9, Ran);
    DemoParts[3] = nullptr;
    for (int part : {0, 1, 4, 9, 10}) TimelineDispatch(TimelineEntry{0, part, -7 * part, 1, 2, 3, 4, 5});
    EXPECT_EQ(g_ran, (std::vector<std::vector<float>>{{-7, 1, 2, 3, 4, 5}, {-63, 1, 2, 3, 4, 5}}));
}

}  // namespace
