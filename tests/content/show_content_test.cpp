// The default show as the build generates it into the show folder: every
// file the show data loading names, scenes and layers that load and use
// only textures that exist, a timeline on the music's bar lines, a loudness
// table that makes the effects fire on the beat, and a whole headless run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "layers/layers.h"
#include "player/font.h"
#include "player/timeline.h"
#include "scene/scenefile.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

const char* const kScenes[] = {"kard_anim", "vexil2_anim", "vexildog_anim", "vexildog_anim_envmap",
                               "controlroom_shadow_optimized", "kocka_anim", "untitled_prefinal", "sarkany"};
const char* const kLayers[] = {"eleje", "fadeout", "fadein", "xfade", "kek2", "kek1", "focim", "border",
                               "credits", "kerethatul", "128alpha", "blur_8_full", "blur_4_full", "radialblur",
                               "ketto", "csont", "greetings", "glow_sotetit", "starmap", "starmap2", "vege",
                               "harom"};
const int kBands = 12, kBandLength = 11442;

std::string show(const std::string& rel) { return ShowDir() + "/" + rel; }

bool exists(const std::string& rel) { return fs::is_regular_file(show(rel)) && fs::file_size(show(rel)) > 0; }

// A scene of the show, loaded as the program loads it (no GL).
struct LoadedScene {
    Scene s{};
    explicit LoadedScene(const std::string& name) {
        ThrowOnFailure guard;
        std::string bytes = ReadFileText(show("3ddata/" + name + ".vlm"));
        LoadSceneData(s, S("3ddata/" + name + ".vlm"), (const uint8_t*)bytes.data(), bytes.size());
    }
    ~LoadedScene() { ReleaseScene(s); }
};

std::vector<uint8_t> levels() {
    std::string d = ReadFileText(show("2ddata/music.rms"));
    return std::vector<uint8_t>(d.begin(), d.end());
}

// The share of the table's values over [from, to) ms for which `fires`
// holds of L = level 4 + level 5 (0..2), as the parts read it.
template <class F>
double share(const std::vector<uint8_t>& t, int from, int to, F fires) {
    int n = 0, hit = 0;
    for (int k = 0; k < kBandLength; ++k) {
        int ms = k * 10000 / 441;
        if (ms < from || ms >= to) continue;
        float L = t[4 * kBandLength + k] / 255.0f + t[5 * kBandLength + k] / 255.0f;
        ++n, hit += fires(L);
    }
    return n ? (double)hit / n : 0;
}

TEST(ShowContent, TheShowFolderHoldsEveryFileTheLoadingNames) {
    for (const char* s : kScenes) EXPECT_TRUE(exists(std::string("3ddata/") + s + ".vlm")) << s;
    for (const char* l : kLayers) EXPECT_TRUE(exists(std::string("2ddata/") + l + ".ife")) << l;
    for (const char* f : {"2ddata/fontset.3f", "2ddata/music.ogg", "2ddata/timeline.cfg", "Textures/feher.tga"})
        EXPECT_TRUE(exists(f)) << f;
    ASSERT_TRUE(exists("2ddata/music.rms"));
    EXPECT_EQ(fs::file_size(show("2ddata/music.rms")), (uintmax_t)kBands * kBandLength);
}

TEST(ShowContent, EveryTextureTheScenesAndLayersNameExists) {
    std::set<std::string> named;
    for (const char* name : kScenes) {
        LoadedScene l(name);
        for (int i = 0; i < l.s.materialcount; ++i) {
            const Material& m = l.s.materials[i];
            if (m.textured) named.insert(str(m.texturename));
            if (m.envmap) named.insert(str(m.envmaptexture));
        }
        for (int i = 0; i < l.s.objectcount; ++i)
            if (l.s.objects[i].particleenabled) named.insert(str(l.s.objects[i].particletexture));
    }
    for (const char* name : kLayers) {
        ThrowOnFailure guard;
        InterfaceLayerSet set{};
        ifeParse(set, ReadFileText(show(std::string("2ddata/") + name + ".ife")), S(name));
        EXPECT_GT(set.count, 0) << name;
        for (int i = 0; i < set.count; ++i) {
            EXPECT_GE(set.layers[i].keycount, 1) << name;
            std::string t = str(set.layers[i].texturename);
            if (t != "RT" && t != "GLOW") named.insert(t);
        }
        ifeFree(set);
    }
    EXPECT_GT(named.size(), 20u);
    for (const std::string& t : named) EXPECT_TRUE(exists("Textures/" + t)) << t;
}

TEST(ShowContent, ScenesAreLitAnimatedSetsWithTheFeaturesTheirPartsUse) {
    int alphaTested = 0, blendedLate = 0;
    for (const char* name : kScenes) {
        LoadedScene l(name);
        const Scene& s = l.s;
        SCOPED_TRACE(name);
        EXPECT_GE(s.camposkeycount, 3);
        EXPECT_GE(s.camtargetkeycount, 2);
        int lights = 0, moving = 0, emitters = 0, envmaps = 0, textured = 0;
        for (const SceneLight& li : s.lights) lights += li.enabled;
        for (int i = 0; i < s.objectcount; ++i) {
            const SceneObject& o = s.objects[i];
            moving += o.poskeycount > 1;
            emitters += o.particleenabled;
            const Material& m = s.materials[o.material];
            if (m.alphatest > 0) ++alphaTested;
            if (m.blend != 0 && o.passno > 0) ++blendedLate;
        }
        for (int i = 0; i < s.materialcount; ++i) envmaps += s.materials[i].envmap, textured += s.materials[i].textured;
        EXPECT_GE(lights, 3);
        EXPECT_GE(moving, 1);
        std::string n = name;
        bool particles = n == "kard_anim" || n == "vexildog_anim" || n == "kocka_anim" || n == "untitled_prefinal";
        EXPECT_EQ(emitters > 0, particles);
        if (n == "vexildog_anim_envmap") {
            EXPECT_GE(envmaps, 2);
        }
        // The dragon's scene gets no texture set-up: a texture would show as
        // nothing, so it is lit colour only. Every other scene is textured.
        if (n == "sarkany") {
            EXPECT_EQ(textured, 0);
        } else {
            EXPECT_GE(textured, 3);
        }
    }
    EXPECT_GE(alphaTested, 2);
    EXPECT_GE(blendedLate, 4);
}

TEST(ShowContent, TheTimelineRunsNinePartsOnBarLinesOver250Seconds) {
    Timeline tl{};
    std::string text = ReadFileText(show("2ddata/timeline.cfg"));
    ParseTimeline(tl, text.data(), text.size());
    ASSERT_EQ(tl.count, 9);
    for (int i = 0; i < 9; ++i) {
        const TimelineEntry& e = tl.entries[i];
        int end = i < 8 ? tl.entries[i + 1].start : 250000;
        SCOPED_TRACE(i);
        EXPECT_EQ(e.part, i + 1);
        EXPECT_EQ(e.start % 2000, 0);  // 120 BPM: a bar is 2000 ms
        // Part time runs from 0 at the entry's start to 1000 at its end.
        EXPECT_EQ(e.start + e.offset, 0);
        EXPECT_NEAR((end + e.offset) / e.p1, 1000, 1);
        if (e.part == 1) {
            EXPECT_EQ(e.p2, e.p1);
        }
    }
    EXPECT_EQ(tl.entries[0].start, 0);
    FreeTimeline(tl);
}

TEST(ShowContent, TheFontHasGlyphsForPrintableText) {
    ThrowOnFailure guard;
    FontSet f{};
    fontParse(f, ReadFileText(show("2ddata/fontset.3f")), "fontset.3f");
    for (unsigned char c = 'A'; c <= 'Z'; ++c) {
        const Glyph* g = fontGlyph(f, c);
        ASSERT_NE(g, nullptr) << c;
        EXPECT_GT(g->width, 10) << c;
    }
    Base.BS_MemFree((void**)&f.glyphs);
}

TEST(ShowContent, TheMusicMakesTheEffectsFireOnTheBeatNotAllTheTime) {
    std::vector<uint8_t> t = levels();
    ASSERT_EQ(t.size(), (size_t)kBands * kBandLength);
    struct Part {
        int part, from, to;
        double (*test)(float);
    };
    // part 3: the blur at L >= 0.2; part 4: the chrome cut above 0.404;
    // part 6: the scene jump above 0.2; part 7: above 1.0.
    const Part parts[] = {{3, 40000, 72000, [](float L) { return (double)(L >= 0.2f); }},
                          {4, 72000, 104000, [](float L) { return (double)(L > 0.404f); }},
                          {6, 120000, 152000, [](float L) { return (double)(L > 0.2f); }},
                          {7, 152000, 184000, [](float L) { return (double)(L > 1.0f); }}};
    for (const Part& p : parts) {
        double s = share(t, p.from, p.to, [&](float L) { return p.test(L) > 0; });
        EXPECT_GE(s, 0.10) << "part " << p.part;
        EXPECT_LE(s, 0.60) << "part " << p.part;
    }
    // The effects follow the drums: they fire in short bursts, not in long
    // stretches (a crossing at least twice a second in part 3).
    int crossings = 0;
    for (int k = 40000 * 441 / 10000; k < 72000 * 441 / 10000; ++k) {
        float a = (t[4 * kBandLength + k - 1] + t[5 * kBandLength + k - 1]) / 255.0f;
        float b = (t[4 * kBandLength + k] + t[5 * kBandLength + k]) / 255.0f;
        crossings += a < 0.2f && b >= 0.2f;
    }
    EXPECT_GE(crossings, 64);
    // Part 8: band 4 narrows the view by up to 30 degrees; it must swing.
    int wide = 0, narrow = 0;
    for (int k = 184000 * 441 / 10000; k < 216000 * 441 / 10000; ++k) {
        float d = 30 * t[4 * kBandLength + k] / 255.0f;
        wide += d < 2, narrow += d > 12;
    }
    EXPECT_GT(wide, 100);
    EXPECT_GT(narrow, 50);
    // The breakdown (part 5) has no drums: it stays below part 3's threshold.
    EXPECT_LT(share(t, 106000, 118000, [](float L) { return L >= 0.2f; }), 0.05);
}

TEST(ShowContent, TheGeneratorMakesTheSameBytesAgain) {
    std::string dir = MakeTempDir("showmake");
    RunResult r = RunProgram({std::string(VELMAR_TEST_BINARY_DIR) + "/content/showmake",
                              std::string(VELMAR_TEST_SOURCE_DIR) + "/content", dir},
                             {"VELMAR_MODULE_BASE=" + ModuleDir() + "/Base.so"});
    ASSERT_EQ(r.code, 0) << r.err;
    int compared = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::string rel = fs::relative(e.path(), dir).string();
        EXPECT_EQ(ReadFileText(e.path().string()), ReadFileText(show(rel))) << rel;
        ++compared;
    }
    EXPECT_GT(compared, 70);
    RemoveTree(dir);
}

TEST(ShowContent, ItPlaysHeadlessFromTheLoadingScreenToTheEnd) {
    ShowHome home;
    for (const char* folder : {"2ddata", "3ddata", "Textures"})
        for (const auto& e : fs::directory_iterator(show(folder)))
            home.put(std::string(folder) + "/" + e.path().filename().string(), ReadFileText(e.path().string()));
    std::string shots = home.path("shots"), profile = home.path("profile.csv");
    ShowRun r = RunShow(home, {.step = 1000,
                               .args = {"--width", "320", "--height", "240", "--nosound", "--shots", shots, "--at",
                                        "125000,249000", "--profile", profile}});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 0) << r.err;
    // Nothing stopped the show between the start of play and the exit run
    // (a fatal stop logs its message there; the capture notes its own).
    int playing = FindLine(r.log, "--- playing..."), exiting = FindLine(r.log, "[exit] --- subsystems", playing);
    ASSERT_GE(playing, 0);
    ASSERT_GT(exiting, playing);
    for (int i = playing + 1; i < exiting; ++i) EXPECT_EQ(r.log[i].rfind("[wm]", 0), 0u) << r.log[i];
    EXPECT_TRUE(fs::is_regular_file(shots + "/249000.png"));
    // A hang guard, not a speed target: every frame drew in a few seconds
    // (a driver once spun for minutes on a nearly edge-on triangle).
    std::vector<std::string> frames = SplitLines(ReadFileText(profile));
    ASSERT_EQ(frames.size(), 251u);
    for (size_t i = 1; i < frames.size(); ++i) {
        size_t draw = frames[i].find(',', frames[i].find(',', frames[i].find(',', frames[i].find(',') + 1) + 1) + 1);
        EXPECT_LT(std::stod(frames[i].substr(draw + 1)), 5000.0) << frames[i];
    }
}

}  // namespace
