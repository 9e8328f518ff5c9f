// The default show the build generates: scenes and layers for their parts, a repeatable generator, a whole run.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "layers/layers.h"
#include "scene/scenefile.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
// A file of the show folder; the show's data files by their path there.
std::string show(const std::string& rel) { return ShowDir() + "/" + rel; }
std::map<std::string, std::string> ShowFiles() {
    std::map<std::string, std::string> files;
    for (const char* folder : {"2ddata", "3ddata", "Textures"})
        for (const auto& e : fs::directory_iterator(show(folder))) files[folder + ("/" + e.path().filename().string())] = ReadFileText(e.path());
    return files;
}

TEST(ShowContent, ScenesAndLayersHaveTheFeaturesTheirPartsUse) {
    int alphaTested = 0, blendedLate = 0, sets = 0;
    for (std::string name : {"kard_anim", "vexil2_anim", "vexildog_anim", "vexildog_anim_envmap", "controlroom_shadow_optimized", "kocka_anim",
                             "untitled_prefinal", "sarkany"}) {
        ThrowOnFailure guard;
        Scene s{};
        std::string bytes = ReadFileText(show("3ddata/" + name + ".vlm"));
        LoadSceneData(s, S("3ddata/" + name + ".vlm"), (const uint8_t*)bytes.data(), bytes.size());
        int lights = 0, moving = 0, emitters = 0, shownEmitters = 0, envmaps = 0, textured = 0, blendsHiding = 0;
        for (const SceneLight& li : s.lights) lights += li.enabled;
        for (int i = 0; i < s.objectcount; ++i) {
            const SceneObject& o = s.objects[i];
            const Material& m = s.materials[o.material];
            moving += o.poskeycount > 1, emitters += o.particleenabled, shownEmitters += o.particleenabled && o.visible;
            alphaTested += m.alphatest > 0, blendedLate += m.blend != 0 && o.passno > 0;
        }
        for (const Material& m : std::vector<Material>(s.materials, s.materials + s.materialcount))
            envmaps += m.envmap, textured += m.textured, blendsHiding += m.blend && m.depthtest != 1;
        // Particles (from unseen emitters) in four scenes, environment maps in the dog's; the dragon is lit colour only;
        // blended materials read the depth without hiding what lies behind.
        bool particles = name == "kard_anim" || name == "vexildog_anim" || name == "kocka_anim" || name == "untitled_prefinal";
        EXPECT_TRUE(s.camposkeycount >= 3 && s.camtargetkeycount >= 2 && lights >= 3 && moving >= 1 && !shownEmitters && !blendsHiding) << name;
        EXPECT_TRUE((emitters > 0) == particles && (name != "vexildog_anim_envmap" || envmaps >= 2)) << name;
        EXPECT_TRUE(name == "sarkany" ? textured == 0 : textured >= 3) << name;
        ReleaseScene(s);
    }
    EXPECT_TRUE(alphaTested >= 2 && blendedLate >= 4) << alphaTested << " " << blendedLate;
    // Every layer has keys; a blur_N set is N copies; the fade-in goes from black to clear.
    for (const auto& e : fs::directory_iterator(show("2ddata")))
        if (std::string name = e.path().filename().string(); e.path().extension() == ".ife") {
            ThrowOnFailure guard;
            InterfaceLayerSet set{};
            ifeParse(set, ReadFileText(e.path().string()), S(name));
            EXPECT_TRUE(set.count > 0 && std::all_of(set.layers, set.layers + set.count, [](const auto& l) { return l.keycount >= 1; })) << name;
            EXPECT_TRUE(name.rfind("blur_", 0) || set.count == name[5] - '0') << name;
            EXPECT_TRUE(name != "fadein.ife" || (set.layers[0].keys[0].alpha == 255 && set.layers[0].keys[set.layers[0].keycount - 1].alpha == 0));
            ifeFree(set), ++sets;
        }
    EXPECT_EQ(sets, 22);
}

// The generator makes every file of the show folder (the music aside) and the same bytes again.
TEST(ShowContent, TheGeneratorMakesTheSameBytesAgain) {
    std::string dir = MakeTempDir("showmake");
    RunResult r = RunProgram({std::string(VELMAR_TEST_BINARY_DIR) + "/content/showmake", std::string(VELMAR_TEST_SOURCE_DIR) + "/content", dir},
                             {"VELMAR_MODULE_BASE=" + ModuleDir() + "/Base.so"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::map<std::string, std::string> made, shown = ShowFiles();
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) made[fs::relative(e.path(), dir).string()] = ReadFileText(e.path().string());
    made["2ddata/music.ogg"] = shown["2ddata/music.ogg"], made["2ddata/music.rms"] = shown["2ddata/music.rms"];
    for (const auto& [rel, bytes] : shown) EXPECT_TRUE(made.count(rel) && made[rel] == bytes) << rel;
    EXPECT_EQ(made.size(), shown.size());
    RemoveTree(dir);
}

// Every file the loading names is there and loads: a missing one is a fatal stop (exit 1).
TEST(ShowContent, ItPlaysHeadlessFromTheLoadingScreenToTheEnd) {
    ShowHome home;
    for (const auto& [rel, bytes] : ShowFiles()) home.put(rel, bytes);
    std::string shots = home.path("shots"), profile = home.path("profile.csv");
    ShowRun r = RunShow(home, {.step = 1000, .args = {"--width", "320", "--height", "240", "--nosound", "--shots", shots, "--at", "125000,249000",
                                                      "--profile", profile}});
    ASSERT_TRUE(!r.timedOut && r.code == 0) << r.code << " " << r.err;
    // Nothing stopped the show between play and the exit run (a fatal stop logs there; the capture notes its own).
    int playing = FindLine(r.log, "--- playing..."), exiting = FindLine(r.log, "[exit] --- subsystems", playing);
    ASSERT_TRUE(playing >= 0 && exiting > playing);
    for (int i = playing + 1; i < exiting; ++i) EXPECT_EQ(r.log[i].rfind("[wm]", 0), 0u) << r.log[i];
    EXPECT_TRUE(fs::is_regular_file(shots + "/249000.png"));
    // Guards the llvmpipe anisotropy stall (minutes on a nearly edge-on triangle): no frame may take over 5 s.
    std::vector<std::string> frames = SplitLines(ReadFileText(profile));
    ASSERT_EQ(frames.size(), 251u);
    for (size_t i = 1; i < frames.size(); ++i) {
        size_t draw = frames[i].find(',', frames[i].find(',', frames[i].find(',', frames[i].find(',') + 1) + 1) + 1);
        EXPECT_LT(std::stod(frames[i].substr(draw + 1)), 5000.0) << frames[i];
    }
}

}  // namespace
