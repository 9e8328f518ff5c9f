// Interface layer files: reading, key evaluation, drawing, and loading with textures through the texture
// manager, the real loader module and the recording GL.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cmath>
#include <sstream>

#include "../recgl/recgl.h"
#include "../tl/fixtures.h"
#include "layers/layers.h"
#include "layers/layers_internal.h"
#include "render/screenfx.h"
#include "support/support.h"
#include "textures/texman.h"

extern "C" size_t BS_MemCount(void);  // the linked Base module

namespace {

// "count header / texture|text2|text3|blend|key|key... / ..." of a file read as test.ife, or how it failed.
// Every block is given back after (" leak" otherwise; an empty file once kept its block).
std::string Read(const std::string& text) {
    ThrowOnFailure guard;
    InterfaceLayerSet set{};
    ToCString(S(std::string(255, '.')));  // the conversion buffer grows once, for good
    size_t blocks = BS_MemCount();
    auto freed = [&] { return ifeFreeWith(set, nullptr), BS_MemCount() == blocks ? "" : " leak"; };
    try {
        ifeParse(set, text, S("test.ife"));
    } catch (const Failure& f) {
        return (f.kind == FailRunError ? "error " + std::to_string(f.code) : std::string("stop")) + ": " + f.message + freed();
    }
    std::ostringstream s;
    s << set.count << " " << set.header;
    for (const InterfaceLayer* l = set.layers; l < set.layers + set.count; ++l) {
        s << " / " << str(l->texturename) << "|" << str(l->text2) << "|" << str(l->text3) << "|" << (int)l->blend;
        for (const LayerKey* k = l->keys; k < l->keys + l->keycount; ++k)
            s << "|" << k->time << " " << k->x << " " << k->y << " " << (int)k->ease << " " << k->angle << " "
              << k->width << " " << k->height << " " << k->red << " " << k->green << " " << k->blue << " " << k->alpha;
    }
    return s.str() + freed();
}

// Guards layer and key counts a file cannot hold (fuzzing): refused, as
// layers without keys are, before anything is allocated for them.
TEST(LayerFile, CountsTheFileCannotHoldAreRefusedAndTheRestReadsAsTheFormatSays) {
    const std::string stop = "stop: Interface layer file (test.ife) ", zeros = "|0 0 0 0 0 0 0 0 0 0 0";
    std::pair<std::string, std::string> cases[] = {
        // 257 kept in one byte; "#" must come first; times and eases rounded, halves to even; fields cut
        // at each blank (two make an empty one); malformed or missing numbers read as 0.
        {"# header comment\n2\n+7\nfeher.tga\nsecond\n# between values\nthird\n2\n257\n"
         "0 512 384 0 0 1024 768 255 255 255 255\n# between keys\n1000 100 200 1 90 10 20 0 0 0 128\n"
         "RT\n\n  # not a comment  \n1\n4\n\t2.5 1 2 1.5 bad  6 7 8 9 10\r\n",
         "2 7 / feher.tga|second|third|1|0 512 384 0 0 1024 768 255 255 255 255|1000 100 200 1 90 10 20 0 0 0 128"
         " / RT||# not a comment|4|2 1 2 2 0 0 6 7 8 9 10"},
        {"1\n0\nt\n\n\n3\n1\n5 1 1 0 0 1 1 1 1 1 1\n", "1 0 / t|||1|5 1 1 0 0 1 1 1 1 1 1" + zeros + zeros},  // keys missing
        {"0\n3\n", "0 3"},
        {"two\n0\n", "error 106: \"two\" is an invalid integer"},
        {"1\n0\n", "error 106: \"\" is an invalid integer"},  // a layer cut after the header
        {"#only\n#comments", "error 106: \"\" is an invalid integer"},  // past the end values are empty, reading stops
        {"99999999999\n0\n", "error 106: \"99999999999\" is an invalid integer"},
        {"1\n0\nt\n\n\n0\n1\n", stop + "has a layer without keys."},
        {"2000000000\n0\n", stop + "is cut short or has a wrong layer count."},
        {"-1\n0\n", stop + "is cut short or has a wrong layer count."},
        {"1\n0\nt\n\n\n2000000000\n1\n0 0 0\n", stop + "is cut short in its key lines."},
    };
    for (auto& [text, want] : cases) EXPECT_EQ(Read(text), want) << text;
}

std::string State(const InterfaceLayer& l, float time) {
    LayerState s = ifeEvaluate(l, time);
    std::ostringstream o;
    o << s.x << " " << s.y << " " << s.angle << " " << s.width << " " << s.height << " " << s.red << " " << s.green
      << " " << s.blue << " " << s.alpha;
    return o.str();
}

TEST(LayerEvaluation, KeysInterpolateByTheEaseOfTheEarlierKeyAndHoldAtTheEnds) {
    LayerKey keys[2] = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1000, 1000, 100, 0, 360, 10, 20, 255, 255, 255, 255}};
    InterfaceLayer l{S(""), S(""), S(""), 0, 2, 0, keys};
    EXPECT_EQ(State(l, 500), "500 50 180 5 10 0.5 0.5 0.5 0.5");  // colours divided by 255
    EXPECT_EQ(State(l, -50), "0 0 0 0 0 0 0 0 0");
    EXPECT_EQ(State(l, 5000), "1000 100 360 10 20 1 1 1 1");
    // A quarter of the time: linear, ease-out, ease-in, and an unknown kind (linear).
    std::pair<int, double> quarter[] = {{0, 250}, {1, 1000 * std::sin(M_PI / 8)}, {2, 1000 - 1000 * std::cos(M_PI / 8)},
                                        {9, 250}};
    for (auto [ease, x] : quarter) {
        keys[0].ease = (uint8_t)ease;
        EXPECT_NEAR(ifeEvaluate(l, 250).x, x, 1e-2) << ease;
    }
}

// Guards keys at the same time: the later key's values, no NaN.
TEST(LayerEvaluation, KeysAtTheSameTimeGiveNoNaN) {
    LayerKey keys[3] = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {100, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                        {100, 70, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    InterfaceLayer l{S(""), S(""), S(""), 0, 3, 0, keys};
    EXPECT_EQ(ifeEvaluate(l, 100).x, 70);
    EXPECT_NEAR(ifeEvaluate(l, 50).x, 25, 1e-4);
}

struct Layers : ::testing::Test {
    void SetUp() override {
        [[maybe_unused]] static const bool bound = (RecglBind(), true);
        RecglReset();
    }
    // The trace since the last take, a line feed after each call, data hashes cut off.
    static std::string Take() {
        std::string s;
        for (const std::string& l : RecglTake()) s += l.substr(0, l.find('#')) + "\n";
        return s;
    }
};

const std::string kBegin = "glDisable(GL_LIGHTING)\nglDisable(GL_DEPTH_TEST)\nglDisable(GL_ALPHA_TEST)\n"
                           "glDisable(GL_CULL_FACE)\nglMatrixMode(GL_MODELVIEW)\nglPushMatrix()\n",
                  kEnd = "glMatrixMode(GL_MODELVIEW)\nglPopMatrix()\n",
                  kAlpha = "glEnable(GL_BLEND)\nglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)\n";

// One layer's lines: a quad of half size w x h in the 1024 x 768 screen; frame copies sampled upside down.
std::string Quad(const std::string& blend, int tex, bool textured, bool copy, const std::string& colour = "1, 1, 1, 1",
                 const std::string& at = "512, 384", const char* angle = "0", std::string w = "512", std::string h = "384") {
    std::string s = "glMatrixMode(GL_TEXTURE)\nglLoadIdentity()\nglMatrixMode(GL_MODELVIEW)\nglLoadIdentity()\n"
                    "glMatrixMode(GL_PROJECTION)\nglLoadIdentity()\ngluOrtho2D(0, 1024, 0, 768)\n" + blend +
                    "glEnable(GL_TEXTURE_2D)\nglBindTexture(GL_TEXTURE_2D, " + std::to_string(tex) + ")\nglColor4f(" +
                    colour + ")\nglTranslatef(" + at + ", 0)\nglRotatef(" + angle + ", 0, 0, 1)\n" +
                    (textured ? "glEnable" : "glDisable") + "(GL_TEXTURE_2D)\nglBegin(GL_QUADS)\n";
    const char* t[4] = {copy ? "1, 1" : "1, 0", copy ? "1, 0" : "1, 1", copy ? "0, 0" : "0, 1", copy ? "0, 1" : "0, 0"};
    const std::string x[4] = {w, w, "-" + w, "-" + w}, y[4] = {h, "-" + h, "-" + h, h};
    for (int i = 0; i < 4; ++i) s += "glTexCoord2f(" + std::string(t[i]) + ")\nglVertex2f(" + x[i] + ", " + y[i] + ")\n";
    return s + "glEnd()\n";
}

std::string Layer(const std::string& texture, int blend, const char* key = "0 512 384 0 0 1024 768 255 255 255 255") {
    return texture + "\n\n\n1\n" + std::to_string(blend) + "\n" + key + "\n";
}

TEST_F(Layers, EachLayerIsOneQuadInTheScreenProjectionWithItsBlendMode) {
    // Modes 5 to 7 keep the blending as it was; frame copies and plain-colour layers differ in their texturing.
    const std::string blend[8] = {"glDisable(GL_BLEND)\n", "glEnable(GL_BLEND)\nglBlendFunc(GL_ONE, GL_ONE)\n", kAlpha,
                                  "glEnable(GL_BLEND)\nglBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA)\n",
                                  "glEnable(GL_BLEND)\nglBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR)\n"};
    std::string text = "12\n0\n" + Layer("pic.tga", 2, "0 100 200 0 90 40 20 255 0 0 128");
    std::string want = kBegin + Quad(kAlpha, 7, true, false, "1, 0, 0, 0.5019608", "100, 200", "90", "20", "10");
    for (int mode = 0; mode <= 7; ++mode) text += Layer("t.tga", mode), want += Quad(blend[mode], 0, true, false);
    InterfaceLayerSet set{};
    ifeParse(set, text + Layer("RT", 7) + Layer("GLOW", 7) + Layer("feher.tga", 2), S("a.ife"));
    set.layers[0].gltexture = 7;
    ifeDraw(set, 0);
    EXPECT_EQ(Take(), want + Quad("", 0, true, true) + Quad("", 0, true, true) + Quad(kAlpha, 0, false, false) + kEnd);
    ifeFreeWith(set, nullptr);
    ifeDraw(set, 0);  // no layers: the stack as it was
    EXPECT_EQ(Take(), kBegin + kEnd);
}

// A layer's file comes through the texture manager (filter mode 1) from the folder given; the clamping
// acts on whatever is bound, the new texture or the one before. "GLOW" and "RT" name the glow and frame
// textures, and one file named twice is one texture, given back by both.
TEST_F(Layers, LoadingGivesEachLayerItsClampedTexture) {
    setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    TlBind();
    tmReset();
    std::string dir = MakeTempDir("layers");
    mkdir((dir + "/Textures").c_str(), 0755);
    WriteFile(dir + "/Textures/a.tga", fx::Tga(4, 2, 24, fx::Pattern(4, 2)));
    WriteFile(dir + "/set.ife", "4\n0\n" + Layer("a.tga", 2) + Layer("GLOW", 2) + Layer("RT", 2) + Layer("a.tga", 2));
    frameTexture = 101, glowTexture = 102;
    InterfaceLayerSet set{};
    ifeLoad(set, S(dir + "/set.ife"), S(dir + "/Textures"));
    const std::string clamp = "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP)\n"
                              "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP)\n";
    EXPECT_EQ(Take(), "glGenTextures(1, [1])\nglBindTexture(GL_TEXTURE_2D, 1)\n"
                      "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR)\n"
                      "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)\n"
                      "glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, \n" +
                          clamp + clamp + clamp + clamp);
    std::string names = str(TextureManager[0].name) + " " + std::to_string(TextureManager[0].reqs);
    for (int i = 0; i < set.count; ++i) names += " " + std::to_string(set.layers[i].gltexture);
    EXPECT_EQ(names, dir + "/Textures/a.tga 2 1 102 101 1");
    ifeFree(set);
    EXPECT_EQ(Take(), "glDeleteTextures(1, [1])\n");
    TlUnbind();
    RemoveTree(dir);
}

}  // namespace
