#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/scenefile.h"
#include "sceneconfig/sceneconfig.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

// A scene held in memory: materials and objects named as given.
struct TestScene {
    Scene s{};
    TestScene(std::vector<std::string> materials, std::vector<std::string> objects) {
        s.materialcount = (int32_t)materials.size();
        s.objectcount = (int32_t)objects.size();
        if (!materials.empty())
            s.materials = (Material*)Base.BS_MemGet(sizeof(Material) * materials.size(), "test materials");
        if (!objects.empty())
            s.objects = (SceneObject*)Base.BS_MemGet(sizeof(SceneObject) * objects.size(), "test objects");
        for (size_t i = 0; i < materials.size(); ++i) {
            s.materials[i].name = S(materials[i]);
            s.materials[i].depth = 24;
        }
        for (size_t i = 0; i < objects.size(); ++i) s.objects[i].name = S(objects[i]);
        for (int i = 0; i < SceneLightCount; ++i) s.lights[i].name = S("light" + std::to_string(i));
    }
    ~TestScene() {
        void* m = s.materials;
        void* o = s.objects;
        Base.BS_MemFree(&m);
        Base.BS_MemFree(&o);
    }
};

TEST(SceneConfigReader, SceneKeysNeedTheirExactSpelling) {
    TestScene t({"m"}, {"o"});
    t.s.camerafov = 0.5f;
    ApplySceneConfig(t.s, "camerafov=1.5\ncameranear=0.25\ncamerafar =99\n");
    EXPECT_EQ(t.s.camerafov, 1.5f);
    EXPECT_EQ(t.s.cameranear, 0.25f);
    EXPECT_EQ(t.s.camerafar, 0);  // a blank before "=" makes another key
    ApplySceneConfig(t.s, "camerafov =2.5\r\n");
    EXPECT_EQ(t.s.camerafov, 1.5f);
}

TEST(SceneConfigReader, VectorsAreSplitAtTheCommas) {
    TestScene t({"wood", "stone"}, {"o"});
    ApplySceneConfig(t.s, "material(stone).diffuse=0.5000,-0.2500,1.0000\nmaterial(wood).ambient=1,22.125,-3\n");
    const Vector& d = t.s.materials[1].diffuse;
    EXPECT_EQ(d.x, 0.5f);
    EXPECT_EQ(d.y, -0.25f);
    EXPECT_EQ(d.z, 1.0f);
    EXPECT_EQ(t.s.materials[0].ambient.y, 22.125f);
    EXPECT_EQ(t.s.materials[0].ambient.z, -3);
    // A malformed component leaves that component alone.
    ApplySceneConfig(t.s, "material(stone).diffuse=x,0.75\n");
    EXPECT_EQ(d.x, 0.5f);
    EXPECT_EQ(d.y, 0.75f);
    EXPECT_EQ(d.z, 1.0f);
}

TEST(SceneConfigReader, OnlyOneSetsAFlag) {
    TestScene t({"m"}, {"o"});
    t.s.materials[0].envmap = true;
    ApplySceneConfig(t.s, "material(m).envmap=0\n");
    EXPECT_FALSE(t.s.materials[0].envmap);
    ApplySceneConfig(t.s, "material(m).envmap=1\n");
    EXPECT_TRUE(t.s.materials[0].envmap);
    ApplySceneConfig(t.s, "material(m).envmap=true\n");
    EXPECT_FALSE(t.s.materials[0].envmap);
}

TEST(SceneConfigReader, NamesFindTheLastMatchAndFallBackToEntryZero) {
    TestScene t({"a", "b"}, {"twin", "other", "twin"});
    ApplySceneConfig(t.s, "object(twin).passno=2\nobject(nobody).backfacecull=1\nmaterial(zzz).shine=7\n");
    EXPECT_EQ(t.s.objects[0].passno, 0);
    EXPECT_EQ(t.s.objects[2].passno, 2);
    EXPECT_TRUE(t.s.objects[0].backfacecull);  // no such name: entry 0
    EXPECT_EQ(t.s.materials[0].shine, 7);
    ApplySceneConfig(t.s, "light(light5).pos=1,2,3\nlight(light5).enabled=1\n");
    EXPECT_EQ(t.s.lights[5].pos.z, 3);
    EXPECT_TRUE(t.s.lights[5].enabled);
}

TEST(SceneConfigReader, ANameWithADotCannotBeAddressed) {
    TestScene t({"m"}, {"plain", "a.b"});
    ApplySceneConfig(t.s, "object(a.b).visible=1\n");
    EXPECT_FALSE(t.s.objects[0].visible);
    EXPECT_FALSE(t.s.objects[1].visible);
}

TEST(SceneConfigReader, PassesAreRecountedAfterTheRead) {
    TestScene t({"m"}, {"a", "b"});
    t.s.maxpassno = 5;
    ApplySceneConfig(t.s, "# only a comment\n");
    EXPECT_EQ(t.s.maxpassno, 0);
    ApplySceneConfig(t.s, "object(b).passno=3\n");
    EXPECT_EQ(t.s.maxpassno, 3);
    ApplySceneConfig(t.s, "object(b).passno=-2\n");
    EXPECT_EQ(t.s.maxpassno, 0);
}

TEST(SceneConfigReader, NumbersAreLenientExceptObjectIntegers) {
    TestScene t({"m"}, {"o"});
    t.s.materials[0].shine = 4;
    t.s.materials[0].utile = 2;
    ApplySceneConfig(t.s, "material(m).shine=lots\nmaterial(m).utile=1.5x\nmaterial(m).blend=258\n");
    EXPECT_EQ(t.s.materials[0].shine, 4);
    EXPECT_EQ(t.s.materials[0].utile, 2);
    EXPECT_EQ(t.s.materials[0].blend, 2);  // kept in one byte
    ThrowOnFailure guard;
    try {
        ApplySceneConfig(t.s, "object(o).newparticle=12a\n");
        FAIL() << "accepted";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailRunError);
        EXPECT_EQ(f.code, 106);
        EXPECT_EQ(f.message, "\"12a\" is an invalid integer");
    }
}

TEST(SceneConfigReader, SettingsForEntriesTheSceneLacksAreRefused) {
    TestScene t({}, {"o"});
    LogCapture log;
    ApplySceneConfig(t.s, "material(m).shine=3\nobject(o).material=4\nobject(o).material=0\n");
    EXPECT_NE(log.text.find("[config] no material in the scene"), std::string::npos);
    EXPECT_NE(log.text.find("[config] material number out of range"), std::string::npos);
    EXPECT_EQ(t.s.objects[0].material, 0);
    TestScene none({"m"}, {});
    ApplySceneConfig(none.s, "object(o).passno=1\n");
    EXPECT_EQ(none.s.maxpassno, 0);
}

TEST(SceneConfigReader, MissingFileIsAFatalStop) {
    TestScene t({"m"}, {"o"});
    ThrowOnFailure guard;
    try {
        ReadSceneConfig(t.s, S("/nonexistent/x.cfg"));
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailFatalStop);
        EXPECT_EQ(f.message, "Config file (/nonexistent/x.cfg) not found.");
    }
}

// ------------------------------------------------------------ writer

TEST(SceneConfigWriter, WritesTheDocumentedLinesForASmallScene) {
    TestScene t({"stone"}, {"rock"});
    t.s.camerafov = 0.785398f;
    t.s.cameranear = 1;
    t.s.camerafar = -100;
    Material& m = t.s.materials[0];
    m.texturename = S("stone.tga");
    m.transparency = 0;
    m.utile = 1;
    m.vtile = 2.5f;
    m.textured = true;
    m.ambient = {0.1f, 0.2f, 0.3f};
    m.shine = 12;
    m.magtype = 3;
    m.constantalpha = 1;
    m.blend = 4;  // never written: the proposal replaces it
    SceneObject& o = t.s.objects[0];
    o.visible = true;
    o.passno = 7;  // never written either
    o.colorattrib = 5;
    o.power = 10;
    o.backfacecull = true;
    for (int i = 0; i < SceneLightCount; ++i) t.s.lights[i].name = S("");
    t.s.lights[0].name = S("sun");
    t.s.lights[0].enabled = true;
    t.s.lights[0].pos = {-0.00001f, 0, 100};
    std::string want =
        "# Velmar config file\r\n#\r\ncamerafov=0.7854\r\ncameranear=1.0000\r\ncamerafar=-100.0000\r\n#\r\n"
        "# Material Info\r\n# \r\n#                  Texture min/mag filters:\r\n"
        "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)\r\n# \r\n"
        "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A\r\n# Alphatest : 0 -N/A ; 0..1 -alpha testing value\r\n"
        "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA\r\n# \r\n"
        "material(stone).texturename=stone.tga\r\nmaterial(stone).transparency=0.0000\r\n"
        "material(stone).utile=1.0000\r\nmaterial(stone).vtile=2.5000\r\nmaterial(stone).textured=1\r\n"
        "material(stone).ambient=0.1000,0.2000,0.3000\r\nmaterial(stone).diffuse=0.0000,0.0000,0.0000\r\n"
        "material(stone).specular=0.0000,0.0000,0.0000\r\nmaterial(stone).shine=12\r\n"
        "material(stone).envmap=0\r\nmaterial(stone).envmaptexture=\r\nmaterial(stone).magtype=3\r\n"
        "material(stone).receivelight=0\r\nmaterial(stone).depthtest=0\r\nmaterial(stone).alphatest=0.0000\r\n"
        "material(stone).texturewrap=0\r\nmaterial(stone).constantalpha=1.0000\r\n"
        "material(stone).flaresize=0.0000\r\nmaterial(stone).blend=0\r\n#\r\n"
        "# Object Info\r\n"
        "object(rock).material=0\r\nobject(rock).rendermode=0\r\nobject(rock).visible=1\r\n"
        "object(rock).particleenabled=0\r\nobject(rock).deltavector=0.0000,0.0000,0.0000\r\n"
        "object(rock).deltavectorspread=0.0000,0.0000,0.0000\r\nobject(rock).color=0.0000,0.0000,0.0000\r\n"
        "object(rock).colorspread=0.0000,0.0000,0.0000\r\nobject(rock).colorattrib=5\r\n"
        "object(rock).power=10.0000\r\nobject(rock).deltapower=0.0000\r\nobject(rock).newparticle=0\r\n"
        "object(rock).particletexture=\r\nobject(rock).size=0.0000\r\nobject(rock).passno=0\r\n"
        "#standard texture :stone.tga\r\nobject(rock).backfacecull=1\r\n#\r\n"
        "# Light Info\r\n"
        "light(sun).enabled=1\r\nlight(sun).pos=-0.0000,0.0000,100.0000\r\n"
        "light(sun).ambient=0.0000,0.0000,0.0000\r\nlight(sun).diffuse=0.0000,0.0000,0.0000\r\n"
        "light(sun).specular=0.0000,0.0000,0.0000\r\n#\r\n";
    std::string empty =
        "light().enabled=0\r\nlight().pos=0.0000,0.0000,0.0000\r\nlight().ambient=0.0000,0.0000,0.0000\r\n"
        "light().diffuse=0.0000,0.0000,0.0000\r\nlight().specular=0.0000,0.0000,0.0000\r\n#\r\n";
    for (int i = 1; i < SceneLightCount; ++i) want += empty;
    std::string got = SceneConfigText(t.s);
    // Line for line, so a difference names its line.
    auto split = [](const std::string& s) {
        std::vector<std::string> v;
        size_t p = 0;
        while (p < s.size()) {
            size_t e = s.find("\r\n", p);
            if (e == std::string::npos) e = s.size();
            v.push_back(s.substr(p, e - p));
            p = e + 2;
        }
        return v;
    };
    EXPECT_EQ(split(got), split(want));
    EXPECT_EQ(got, want);
}

TEST(SceneConfigWriter, ProposalsFollowDepthAndTransparency) {
    TestScene t({"solid", "glass", "alpha", "neg", "grey"}, {"o0", "o1", "o2", "o3", "o4"});
    t.s.materials[1].transparency = 0.5f;
    t.s.materials[2].depth = 32;
    t.s.materials[2].transparency = 0.5f;
    t.s.materials[3].transparency = -1;
    t.s.materials[4].depth = 8;
    for (int i = 0; i < 5; ++i) t.s.objects[i].material = i;
    std::string text = SceneConfigText(t.s);
    auto has = [&](const std::string& l) { return text.find(l + "\r\n") != std::string::npos; };
    EXPECT_TRUE(has("material(solid).blend=0"));
    EXPECT_TRUE(has("material(glass).blend=1"));
    EXPECT_TRUE(has("material(alpha).blend=2"));
    EXPECT_EQ(text.find("material(neg).blend"), std::string::npos);
    EXPECT_EQ(text.find("material(grey).blend"), std::string::npos);
    EXPECT_TRUE(has("object(o1).passno=1"));
    EXPECT_TRUE(has("#transparent material :"));
    EXPECT_TRUE(has("object(o2).passno=2"));
    EXPECT_TRUE(has("#alpha channel texture :"));
    EXPECT_EQ(text.find("object(o3).passno"), std::string::npos);
    EXPECT_EQ(text.find("object(o4).passno"), std::string::npos);
}

TEST(SceneConfigWriter, WriteThenReadReproducesEveryWrittenField) {
    TestScene a({"m0", "m1"}, {"o0", "o1"});
    TestScene b({"m0", "m1"}, {"o0", "o1"});
    a.s.camerafov = 1.23456f;
    a.s.cameranear = 0.5f;
    a.s.camerafar = 12345.678f;
    for (int i = 0; i < 2; ++i) {
        Material& m = a.s.materials[i];
        m.texturename = S("t" + std::to_string(i) + ".png");
        m.envmaptexture = S("env.jpg");
        m.transparency = 0.25f * i;
        m.utile = 3.14159f;
        m.vtile = -2.5f;
        m.textured = true;
        m.ambient = {0.1f, -123.4567f, 7};
        m.diffuse = {1, 0.00005f, 0.99999f};
        m.specular = {0.3333f, 0.6667f, 0};
        m.shine = 40 + i;
        m.envmap = i == 1;
        m.magtype = 2;
        m.receivelight = true;
        m.depthtest = 3;
        m.alphatest = 0.5f;
        m.texturewrap = 1;
        m.constantalpha = 0.75f;
        m.flaresize = 2;
        SceneObject& o = a.s.objects[i];
        o.material = 1 - i;
        o.rendermode = 1;
        o.visible = i == 0;
        o.particleenabled = true;
        o.deltavector = {0.01f, 0.02f, -0.03f};
        o.deltavectorspread = {1, 2, 3};
        o.color = {0.9f, 0.8f, 0.7f};
        o.colorspread = {0.1f, 0.1f, 0.1f};
        o.colorattrib = 9;
        o.power = 100;
        o.deltapower = 1.5f;
        o.newparticle = 17;
        o.particletexture = S("spark.tga");
        o.size = 4.25f;
        o.backfacecull = true;
    }
    for (int i = 0; i < SceneLightCount; ++i) {
        a.s.lights[i].enabled = i % 2;
        a.s.lights[i].pos = {(float)i, -1.5f, 1000};
        a.s.lights[i].ambient = {0.2f, 0.2f, 0.2f};
        a.s.lights[i].diffuse = {0.8f, 0.7f, 0.6f};
        a.s.lights[i].specular = {1, 1, 1};
    }
    ApplySceneConfig(b.s, SceneConfigText(a.s));
    auto near4 = [](float x, float y) { return std::fabs(x - y) <= 0.00005f * std::max(1.0f, std::fabs(x)); };
    auto vnear = [&](const Vector& x, const Vector& y) { return near4(x.x, y.x) && near4(x.y, y.y) && near4(x.z, y.z); };
    EXPECT_TRUE(near4(a.s.camerafov, b.s.camerafov));
    EXPECT_TRUE(near4(a.s.camerafar, b.s.camerafar));
    for (int i = 0; i < 2; ++i) {
        const Material &x = a.s.materials[i], &y = b.s.materials[i];
        EXPECT_TRUE(x.texturename == y.texturename);
        EXPECT_TRUE(x.envmaptexture == y.envmaptexture);
        EXPECT_TRUE(near4(x.transparency, y.transparency) && near4(x.utile, y.utile) && near4(x.vtile, y.vtile));
        EXPECT_TRUE(vnear(x.ambient, y.ambient) && vnear(x.diffuse, y.diffuse) && vnear(x.specular, y.specular));
        EXPECT_EQ(x.textured, y.textured);
        EXPECT_EQ(x.shine, y.shine);
        EXPECT_EQ(x.envmap, y.envmap);
        EXPECT_EQ(x.magtype, y.magtype);
        EXPECT_EQ(x.receivelight, y.receivelight);
        EXPECT_EQ(x.depthtest, y.depthtest);
        EXPECT_EQ(x.texturewrap, y.texturewrap);
        EXPECT_TRUE(near4(x.alphatest, y.alphatest) && near4(x.constantalpha, y.constantalpha) &&
                    near4(x.flaresize, y.flaresize));
        const SceneObject &o = a.s.objects[i], &p = b.s.objects[i];
        EXPECT_EQ(o.material, p.material);
        EXPECT_EQ(o.rendermode, p.rendermode);
        EXPECT_EQ(o.visible, p.visible);
        EXPECT_EQ(o.particleenabled, p.particleenabled);
        EXPECT_TRUE(vnear(o.deltavector, p.deltavector) && vnear(o.deltavectorspread, p.deltavectorspread));
        EXPECT_TRUE(vnear(o.color, p.color) && vnear(o.colorspread, p.colorspread));
        EXPECT_EQ(o.colorattrib, p.colorattrib);
        EXPECT_TRUE(near4(o.power, p.power) && near4(o.deltapower, p.deltapower) && near4(o.size, p.size));
        EXPECT_EQ(o.newparticle, p.newparticle);
        EXPECT_TRUE(o.particletexture == p.particletexture);
        EXPECT_EQ(o.backfacecull, p.backfacecull);
    }
    for (int i = 0; i < SceneLightCount; ++i) {
        EXPECT_EQ(a.s.lights[i].enabled, b.s.lights[i].enabled);
        EXPECT_TRUE(vnear(a.s.lights[i].pos, b.s.lights[i].pos));
        EXPECT_TRUE(vnear(a.s.lights[i].diffuse, b.s.lights[i].diffuse));
    }
    // The proposals replace what the scene held.
    EXPECT_EQ(b.s.materials[0].blend, 0);
    EXPECT_EQ(b.s.materials[1].blend, 1);
    EXPECT_EQ(b.s.objects[0].passno, 1);  // its material is m1, transparent
    EXPECT_EQ(b.s.objects[1].passno, 0);
    EXPECT_EQ(b.s.maxpassno, 1);
}

// Guards blocks read back into another entry: names the reader cannot find
// again, values that do not fit on one line, and an earlier entry of a name
// whose block the reader gives to the later one.
TEST(SceneConfigWriter, WhatIsWrittenIsReadBackIntoTheSameEntryWithTheSameValue) {
    const std::string longName(220, 'n');  // short lines fit, vectors do not
    const std::vector<std::string> materials = {"plain", "bl)de", "a.b", "x=y", "line\nbreak", "(paren", "twin",
                                                "twin", longName};
    const std::vector<std::string> objects = {"floor", "bl)de", "blade", "dot.ted", "eq=ual", "nl\nname", "twin",
                                              "twin", longName};
    auto fill = [&](Scene& s) {
        for (int32_t i = 0; i < s.materialcount; ++i) {
            Material& m = s.materials[i];
            m.texturename = S(i == 6 ? "tex\nobject(floor).material=2" : "t" + std::to_string(i) + ".tga");
            m.ambient = {0.25f * i, 0.5f, 1};
            m.shine = 10 + i;
            m.magtype = 3;
        }
        for (int32_t i = 0; i < s.objectcount; ++i) {
            SceneObject& o = s.objects[i];
            o.material = i % s.materialcount;
            o.visible = i % 2;
            o.deltavectorspread = {-1234.5f, -1234.5f, -1234.5f};
            o.particletexture = S(i == 7 ? "spark.tga" : "");
        }
        s.lights[3].name = S("l)ght");
        s.lights[5].name = S("lamp");
        s.lights[6].name = S("lamp");
        for (int i = 0; i < SceneLightCount; ++i) s.lights[i].pos = {(float)i, 2, 3};
    };
    // Every entry differs from the others: a line read into the wrong one
    // changes it.
    TestScene a(materials, objects), b(materials, objects);
    fill(a.s);
    fill(b.s);
    std::string text;
    {
        LogCapture log;
        text = SceneConfigText(b.s);
        EXPECT_GE(CountLines(log.lines(), "[config] left out material(bl)de): its name holds ')', '.', '=' or a line "
                                          "feed, which the reader cannot find"), 1);
    }
    ApplySceneConfig(a.s, text);
    std::string before = SaveSceneData(b.s), after = SaveSceneData(a.s);
    size_t diff = std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin();
    EXPECT_EQ(diff, before.size()) << "the scene changed at byte " << diff;
    EXPECT_EQ(after.size(), before.size());
    // Said in the file, a line feed shown as \x0A.
    EXPECT_NE(text.find("# left out: material(line\\x0Abreak): its name holds"), std::string::npos);
    EXPECT_NE(text.find("# left out: material(twin).texturename: the value holds a line feed"), std::string::npos);
    EXPECT_NE(text.find("# left out: object(" + longName +
                        ").deltavector, deltavectorspread, colorspread: the line would be longer than 255 "
                        "characters\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("#standard texture :tex\\x0Aobject(floor).material=2"), std::string::npos);
    // The spelled-out lines of addressable entries stay.
    EXPECT_NE(text.find("material((paren).shine=15\r\n"), std::string::npos);
    EXPECT_NE(text.find("light(lamp).enabled=0\r\n"), std::string::npos);
}

TEST(SceneConfigWriter, UnwritableFileIsARunTimeError) {
    TestScene t({"m"}, {"o"});
    ThrowOnFailure guard;
    try {
        WriteSceneConfig(t.s, S("/nonexistent/dir/x.cfg"));
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailRunError);
        EXPECT_NE(f.code, 0);
    }
}

}  // namespace
