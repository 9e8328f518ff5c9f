// The scene configuration file: the reader's keys, names and numbers, the writer's text read back into the same
// entries, and velmar scene config-write and config-apply run as an author runs them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <tuple>

#include "../scene/scene_helpers.h"
#include "sceneconfig/sceneconfig.h"
#include "support/glwindow.h"
#include "tools/scenebuild/scenebuild.h"

namespace {

// A scene held in memory: materials and objects named as given.
struct TestScene {
    Scene s{};
    TestScene(std::vector<std::string> materials, std::vector<std::string> objects) {
        s.materialcount = (int32_t)materials.size(), s.objectcount = (int32_t)objects.size();
        s.materials = TestBlock<Material>(materials.size()), s.objects = TestBlock<SceneObject>(objects.size());
        for (size_t i = 0; i < materials.size(); ++i) s.materials[i].name = S(materials[i]), s.materials[i].depth = 24;
        for (size_t i = 0; i < objects.size(); ++i) s.objects[i].name = S(objects[i]);
        for (int i = 0; i < SceneLightCount; ++i) s.lights[i].name = S("light" + std::to_string(i));
    }
    ~TestScene() { ReleaseScene(s); }
};

using Values = std::vector<double>;
template <class... T> Values Of(T... v) { return {(double)v...}; }
#define GET(...) [](const Scene& s) { return Of(__VA_ARGS__); }

TEST(SceneConfigReader, KeysNamesAndNumbers) {
    struct Case {
        const char* text;
        Values (*get)(const Scene&);
        Values want;
    } cases[] = {
        {"camerafov=1.5\ncameranear=0.25", GET(s.camerafov, s.cameranear), {1.5, 0.25}},
        // A blank before "=" makes another key.
        {"camerafar =99\ncamerafov =2.5\r\n", GET(s.camerafar, s.camerafov), {0, 0.5}},
        {"material(stone).diffuse=0.5000,-0.2500,1.0000", GET(s.materials[1].diffuse.x, s.materials[1].diffuse.y, s.materials[1].diffuse.z),
         {0.5, -0.25, 1}},
        // A malformed or missing component leaves that component alone.
        {"material(wood).ambient=1,22.125,-3\nmaterial(wood).ambient=x,0.75",
         GET(s.materials[0].ambient.x, s.materials[0].ambient.y, s.materials[0].ambient.z), {1, 0.75, -3}},
        // Only "1" sets a flag.
        {"material(wood).envmap=true\nmaterial(wood).receivelight=1", GET(s.materials[0].envmap, s.materials[0].receivelight), {0, 1}},
        // The last entry of a name; no entry of that name: entry 0.
        {"object(twin).passno=2", GET(s.objects[0].passno, s.objects[2].passno), {0, 2}},
        {"object(nobody).backfacecull=1\nmaterial(zzz).shine=7", GET(s.objects[0].backfacecull, s.materials[0].shine), {1, 7}},
        {"light(light5).pos=1,2,3\nlight(light5).enabled=1", GET(s.lights[5].pos.z, s.lights[5].enabled), {3, 1}},
        {"object(a.b).visible=1", GET(s.objects[0].visible, s.objects[3].visible), {0, 0}},  // name to ')', key from the first '.'
        // Passes are recounted after the read.
        {"# only a comment", GET(s.maxpassno), {0}}, {"object(other).passno=3", GET(s.maxpassno), {3}},
        {"object(other).passno=-2", GET(s.maxpassno), {0}},
        // Reals, material integers and bytes: blanks around allowed, a malformed number changes nothing, a byte keeps
        // the low 8 bits.
        {"material(wood).shine=lots\nmaterial(wood).utile=1.5x\nmaterial(wood).blend=258\nmaterial(wood).magtype= 7 ",
         GET(s.materials[0].shine, s.materials[0].utile, s.materials[0].blend, s.materials[0].magtype), {4, 2, 2, 7}},
    };
    for (const Case& c : cases) {
        TestScene t({"wood", "stone"}, {"twin", "other", "twin", "a.b"});
        t.s.camerafov = 0.5f, t.s.maxpassno = 5, t.s.materials[0].envmap = true, t.s.materials[0].shine = 4, t.s.materials[0].utile = 2;
        ApplySceneConfig(t.s, c.text);
        EXPECT_EQ(c.get(t.s), c.want) << c.text;
    }
}

// Object integers are read strictly (leading blanks only, one sign): a malformed one is run-time error 106. Rendermode
// and colorattrib keep their low byte.
TEST(SceneConfigReader, ObjectIntegersAreStrictAndBytesKeepTheirLowByte) {
    const char* keys[] = {"material", "rendermode", "passno", "colorattrib", "newparticle"};
    const std::tuple<int, const char*, int64_t> accepted[] = {
        {0, " 1", 1},    {0, "  +1", 1}, {1, "257", 1},     {1, "-1", 255}, {2, "  -5", -5}, {2, "+7", 7},
        {2, "257", 257}, {3, "258", 2},  {3, "  511", 255}, {4, "2147483647", INT32_MAX},    {4, "-2147483648", INT32_MIN}};
    auto apply = [&](Scene& s, int k, const std::string& v) { ApplySceneConfig(s, "object(o)." + std::string(keys[k]) + "=" + v + "\n"); };
    for (auto [k, value, want] : accepted) {
        TestScene t({"m0", "m1"}, {"o"});
        apply(t.s, k, value);
        const SceneObject& o = t.s.objects[0];
        EXPECT_EQ((std::vector<int64_t>{o.material, o.rendermode, o.passno, o.colorattrib, o.newparticle}[k]), want) << keys[k] << "=" << value;
    }
    for (int k = 0; k < 5; ++k)
        for (std::string bad : {"12a", "", " ", "1 ", "0x1", "1.0", "- 1", "++1", "+-1", "2147483648", "1e3"}) {
            TestScene t({"m0", "m1"}, {"o"});
            Failure f = FailureOf([&] { apply(t.s, k, bad); });
            EXPECT_TRUE(f.kind == FailRunError && f.code == 106 && f.message == "\"" + bad + "\" is an invalid integer") << keys[k] << "=" << bad;
        }
}

TEST(SceneConfigReader, EntriesTheSceneLacksAndFilesThatCannotBeUsed) {
    TestScene t({}, {"o"});
    {
        LogCapture log;
        ApplySceneConfig(t.s, "material(m).shine=3\nobject(o).material=4\nobject(o).material=0\n");
        EXPECT_TRUE(log.text.find("[config] no material in the scene") != std::string::npos &&
                    log.text.find("[config] material number out of range") != std::string::npos && t.s.objects[0].material == 0) << log.text;
    }
    TestScene none({"m"}, {});
    ApplySceneConfig(none.s, "object(o).passno=1\n");
    EXPECT_EQ(none.s.maxpassno, 0);
    Failure f = FailureOf([&] { ReadSceneConfig(t.s, S("/nonexistent/x.cfg")); });
    EXPECT_TRUE(f.kind == FailFatalStop && f.message == "Config file (/nonexistent/x.cfg) not found.") << f.message;
    f = FailureOf([&] { WriteSceneConfig(t.s, S("/nonexistent/dir/x.cfg")); });
    EXPECT_TRUE(f.kind == FailRunError && f.code != 0);
}

// ------------------------------------------------------------ writer

TEST(SceneConfigWriter, WritesTheDocumentedLinesForASmallScene) {
    TestScene t({"stone"}, {"rock"});
    t.s.camerafov = 0.785398f, t.s.cameranear = 1, t.s.camerafar = -100;
    Material& m = t.s.materials[0];
    m.texturename = S("stone.tga"), m.utile = 1, m.vtile = 2.5f, m.textured = true, m.ambient = {0.1f, 0.2f, 0.3f};
    m.shine = 12, m.magtype = 3, m.constantalpha = 1, m.blend = 4;  // blend: the proposal replaces it
    SceneObject& o = t.s.objects[0];
    o.visible = true, o.passno = 7, o.colorattrib = 5, o.power = 10, o.backfacecull = true;  // passno: likewise
    for (int i = 0; i < SceneLightCount; ++i) t.s.lights[i].name = S("");
    t.s.lights[0].name = S("sun"), t.s.lights[0].enabled = true, t.s.lights[0].pos = {-0.00001f, 0, 100};
    std::string z = "0.0000,0.0000,0.0000", want =
        "# Velmar config file\r\n#\r\ncamerafov=0.7854\r\ncameranear=1.0000\r\ncamerafar=-100.0000\r\n#\r\n# Material Info\r\n# \r\n"
        "#                  Texture min/mag filters:\r\n# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)\r\n# \r\n"
        "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A\r\n# Alphatest : 0 -N/A ; 0..1 -alpha testing value\r\n"
        "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA\r\n# \r\nmaterial(stone).texturename=stone.tga\r\n"
        "material(stone).transparency=0.0000\r\nmaterial(stone).utile=1.0000\r\nmaterial(stone).vtile=2.5000\r\nmaterial(stone).textured=1\r\n"
        "material(stone).ambient=0.1000,0.2000,0.3000\r\nmaterial(stone).diffuse=" + z + "\r\nmaterial(stone).specular=" + z + "\r\n"
        "material(stone).shine=12\r\nmaterial(stone).envmap=0\r\nmaterial(stone).envmaptexture=\r\nmaterial(stone).magtype=3\r\n"
        "material(stone).receivelight=0\r\nmaterial(stone).depthtest=0\r\nmaterial(stone).alphatest=0.0000\r\nmaterial(stone).texturewrap=0\r\n"
        "material(stone).constantalpha=1.0000\r\nmaterial(stone).flaresize=0.0000\r\nmaterial(stone).blend=0\r\n#\r\n# Object Info\r\n"
        "object(rock).material=0\r\nobject(rock).rendermode=0\r\nobject(rock).visible=1\r\nobject(rock).particleenabled=0\r\n"
        "object(rock).deltavector=" + z + "\r\nobject(rock).deltavectorspread=" + z + "\r\nobject(rock).color=" + z + "\r\n"
        "object(rock).colorspread=" + z + "\r\nobject(rock).colorattrib=5\r\nobject(rock).power=10.0000\r\nobject(rock).deltapower=0.0000\r\n"
        "object(rock).newparticle=0\r\nobject(rock).particletexture=\r\nobject(rock).size=0.0000\r\nobject(rock).passno=0\r\n"
        "#standard texture :stone.tga\r\nobject(rock).backfacecull=1\r\n#\r\n# Light Info\r\nlight(sun).enabled=1\r\n"
        "light(sun).pos=-0.0000,0.0000,100.0000\r\nlight(sun).ambient=" + z + "\r\nlight(sun).diffuse=" + z + "\r\n"
        "light(sun).specular=" + z + "\r\n#\r\n";
    for (int i = 1; i < SceneLightCount; ++i)
        want += "light().enabled=0\r\nlight().pos=" + z + "\r\nlight().ambient=" + z + "\r\nlight().diffuse=" + z + "\r\nlight().specular=" + z +
                "\r\n#\r\n";
    EXPECT_EQ(SceneConfigText(t.s), want);
}

// What is written reads back to the same text, and the blend and pass proposals (from the texture depth and the
// transparency) replace what the scene held.
TEST(SceneConfigWriter, WhatIsWrittenReadsBackToTheSameTextWithTheProposals) {
    const std::vector<std::string> names = {"solid", "glass", "alpha", "neg", "grey"};
    TestScene a(names, {"o0", "o1", "o2", "o3", "o4"}), b(names, {"o0", "o1", "o2", "o3", "o4"});
    Filler fill;  // every field its own value: a key read into another field shows; depths come from textures
    for (int i = 0; i < 5; ++i) {
        Material& r = a.s.materials[i];
        MATERIAL_FIELDS(FILL_FIELD, FILL_NOTHING, FILL_NOTHING)
        r.name = S(names[i]), r.depth = b.s.materials[i].depth = i == 2 ? 32 : i == 4 ? 8 : 24, r.blend = 3;
        r.transparency = i == 1 || i == 2 ? 0.5f : i == 3 ? -1 : 0;
        SceneObject& o = a.s.objects[i];
        fill(o.particletexture), fill(o.rendermode), fill(o.visible), fill(o.particleenabled), fill(o.deltavector), fill(o.deltavectorspread);
        fill(o.color), fill(o.colorspread), fill(o.colorattrib), fill(o.power), fill(o.deltapower), fill(o.newparticle), fill(o.size);
        fill(o.backfacecull), o.material = i, o.passno = 9;
    }
    for (SceneLight& l : a.s.lights) fill(l.enabled), fill(l.pos), fill(l.ambient), fill(l.diffuse), fill(l.specular);
    a.s.camerafov = 1.23456f, a.s.cameranear = 0.5f, a.s.camerafar = 12345.678f;
    std::string text = SceneConfigText(a.s);
    ApplySceneConfig(b.s, text);
    EXPECT_EQ(SceneConfigText(b.s), text);
    for (const char* line : {"material(solid).blend=0\r\n", "material(glass).blend=1\r\n", "material(alpha).blend=2\r\n",
                             "object(o1).passno=1\r\n#transparent material :", "object(o2).passno=2\r\n#alpha channel texture :"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    for (const char* absent : {"material(neg).blend", "material(grey).blend", "object(o3).passno", "object(o4).passno"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    const Material* m = b.s.materials;
    const SceneObject* o = b.s.objects;
    EXPECT_EQ(Of(m[0].blend, m[1].blend, m[2].blend, o[0].passno, o[1].passno, o[2].passno, b.s.maxpassno), Of(0, 1, 2, 0, 1, 2, 2));
}

// Guards blocks read back into another entry: names the reader cannot find again, values that do not fit on one line,
// and an earlier entry of a name whose block the reader gives to the later one.
TEST(SceneConfigWriter, WhatIsWrittenIsReadBackIntoTheSameEntryWithTheSameValue) {
    const std::string longName(220, 'n');  // short lines fit, vectors do not
    const std::vector<std::string> materials = {"plain", "bl)de", "a.b", "x=y", "line\nbreak", "(paren", "twin", "twin", longName},
                                   objects = {"floor", "bl)de", "blade", "dot.ted", "eq=ual", "nl\nname", "twin", "twin", longName};
    auto fill = [&](Scene& s) {
        for (int32_t i = 0; i < s.materialcount; ++i) {
            Material& m = s.materials[i];
            m.texturename = S(i == 6 ? "tex\nobject(floor).material=2" : "t" + std::to_string(i) + ".tga"), m.ambient = {0.25f * i, 0.5f, 1};
            m.shine = 10 + i, m.magtype = 3;
            SceneObject& o = s.objects[i];  // as many objects as materials
            o.material = i, o.visible = i % 2, o.deltavectorspread = {-1234.5f, -1234.5f, -1234.5f}, o.particletexture = S(i == 7 ? "spark.tga" : "");
        }
        s.lights[3].name = S("l)ght"), s.lights[5].name = S("lamp"), s.lights[6].name = S("lamp");
        for (int i = 0; i < SceneLightCount; ++i) s.lights[i].pos = {(float)i, 2, 3};
    };
    // Every entry differs from the others: a line read into the wrong one changes it.
    TestScene a(materials, objects), b(materials, objects);
    fill(a.s), fill(b.s);
    LogCapture log;
    std::string text = SceneConfigText(b.s);
    EXPECT_NE(log.text.find("[config] left out material(bl)de): its name holds ')', '.', '=' or a line feed, which the reader cannot find"),
              std::string::npos);
    ApplySceneConfig(a.s, text);
    EXPECT_TRUE(SaveSceneData(a.s) == SaveSceneData(b.s)) << "the scene changed";
    // Said in the file, a line feed shown as \x0A.
    for (std::string line : std::vector<std::string>{
             "# left out: material(line\\x0Abreak): its name holds", "# left out: object(eq=ual): its name holds", "# left out: material(twin).texturename: the value holds a line feed",
             "#standard texture :tex\\x0Aobject(floor).material=2", "material((paren).shine=15\r\n", "light(lamp).enabled=0\r\n",
             "# left out: object(" + longName + ").deltavector, deltavectorspread, colorspread: the line would be longer than 255 characters\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

// ------------------------------------------------------------ velmar scene config-write and config-apply

// On a scene of a material with a 24-bit texture and one with a 32-bit texture: the proposals follow the textures'
// real depth. Guards a silent guess: without textures the 32-bit one's material was proposed blend 0, as if opaque; now
// a note says the proposals follow the scene file's depths. An edited file applied back is saved; bad input gets one
// line and exit code 2.
TEST(ConfigTool, WriteProposesFromTheTexturesAndApplySaves) {
    const std::string velmar = ShowDir() + "/velmar", dir = MakeTempDir("cfgtool"), scene = dir + "/3ddata/cfg.vlm", out = dir + "/out.cfg";
    mkdir((dir + "/3ddata").c_str(), 0755), mkdir((dir + "/Textures").c_str(), 0755);
    WriteFile(dir + "/Textures/rgb.tga", SolidTga(4, 4, 10, 20, 30));
    WriteFile(dir + "/Textures/alpha.tga", TgaImage(4, 4, 32, std::vector<uint8_t>(64, 200)));
    Scene s, back{};
    sbBegin(s, "cfg"), sbObject(s, "left", sbMaterial(s, "plain", "rgb.tga"), meshBox({1, 1, 1}));
    sbObject(s, "right", sbMaterial(s, "cutout", "alpha.tga"), meshBox({1, 1, 1})), sbCamera(s, {{0, {5, 5, 5}}}, {{0, {0, 0, 0}}}), sbFinish(s);
    WriteFile(scene, SaveSceneData(s));
    ReleaseScene(s);
    RunResult r = RunProgram({velmar, "scene", "config-write", scene, out}, {"DISPLAY=", "WAYLAND_DISPLAY="});
    ASSERT_TRUE(r.code == 0 && r.err.empty()) << r.err;
    std::string cfg = ReadFileText(out);
    EXPECT_TRUE(cfg.rfind("# Velmar config file\r\n", 0) == 0 && cfg.find("# note:") == std::string::npos);
    for (const char* line :
         {"material(plain).blend=0\r\n", "material(cutout).blend=2\r\n", "object(right).passno=2\r\n#alpha channel texture :alpha.tga\r\n"})
        EXPECT_NE(cfg.find(line), std::string::npos) << line;
    WriteFile(dir + "/edit.cfg", "camerafov=1.2500\nobject(left).passno=3\nmaterial(plain).diffuse=0.5,0.25,1\n");
    r = RunProgram({velmar, "scene", "config-apply", scene, dir + "/edit.cfg", dir + "/out.vlm"});
    ASSERT_EQ(r.code, 0) << r.err;
    ThrowOnFailure guard;
    LoadBytes(back, ReadFileText(dir + "/out.vlm"));
    EXPECT_TRUE(back.camerafov == 1.25f && back.maxpassno == 3 && back.objects[0].passno == 3 && back.materials[0].diffuse.y == 0.25f);
    ReleaseScene(back);
    for (auto args : std::vector<std::vector<std::string>>{{"config-write", dir + "/3ddata/none.vlm", dir + "/o.cfg"},
                                                           {"config-write", scene},
                                                           {"config-write", scene, dir + "/o.cfg", "--textures", dir + "/nowhere"},
                                                           {"config-apply", scene, dir + "/none.cfg", dir + "/o.vlm"}}) {
        args.insert(args.begin(), {velmar, "scene"});
        r = RunProgram(args);
        EXPECT_TRUE(r.code == 2 && std::count(r.err.begin(), r.err.end(), '\n') == 1) << args[3] << ": " << r.err;
    }
    EXPECT_TRUE(access((dir + "/o.vlm").c_str(), F_OK) != 0 && access((dir + "/o.cfg").c_str(), F_OK) != 0);
    RemoveTree(dir + "/Textures");
    r = RunProgram({velmar, "scene", "config-write", scene, out});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string note =
        "no texture folder " + dir + "/Textures: the blend and pass proposals follow the depths the scene file holds, not the textures'";
    EXPECT_EQ(r.err, "velmar scene config-write: " + note + "\n");
    EXPECT_NE(ReadFileText(out).find("\r\n# \r\n# note: " + note + "\r\nmaterial(plain)."), std::string::npos);
    RemoveTree(dir);
}

}  // namespace
