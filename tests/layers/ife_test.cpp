#include <gtest/gtest.h>

#include <cmath>

#include "frame/rtfile.h"
#include "layers/layers.h"
#include "layers/layers_internal.h"
#include "support/support.h"

namespace {

InterfaceLayerSet Parse(const std::string& text) {
    InterfaceLayerSet set{};
    ifeParse(set, text, S("test.ife"));
    return set;
}

Failure ParseFails(const std::string& text) {
    ThrowOnFailure guard;
    try {
        Parse(text);
    } catch (const Failure& f) {
        return f;
    }
    ADD_FAILURE() << "no failure";
    return Failure{};
}

const char* kTwoLayers =
    "# header comment\n"
    "2\n"
    "7\n"
    "feher.tga\n"
    "second\n"
    "# between values\n"
    "third\n"
    "2\n"
    "257\n"
    "0 512 384 0 0 1024 768 255 255 255 255\n"
    "# between keys\n"
    "1000 100 200 1 90 10 20 0 0 0 128\n"
    "RT\n"
    "\n"
    "  # not a comment  \n"
    "1\n"
    "4\n"
    "\t2.5 1 2 3 4 5 6 7 8 9 10\r\n";

TEST(LayerFile, ValuesCommentsAndKeysReadAsTheFormatSays) {
    InterfaceLayerSet set = Parse(kTwoLayers);
    ASSERT_EQ(set.count, 2);
    EXPECT_EQ(set.header, 7);
    const InterfaceLayer& a = set.layers[0];
    EXPECT_TRUE(a.texturename == "feher.tga");
    EXPECT_TRUE(a.text2 == "second");
    EXPECT_TRUE(a.text3 == "third");
    EXPECT_EQ(a.blend, 1);  // 257 kept in one byte
    ASSERT_EQ(a.keycount, 2);
    EXPECT_EQ(a.keys[0].time, 0);
    EXPECT_EQ(a.keys[0].width, 1024);
    EXPECT_EQ(a.keys[0].alpha, 255);
    EXPECT_EQ(a.keys[1].time, 1000);
    EXPECT_EQ(a.keys[1].ease, 1);
    EXPECT_EQ(a.keys[1].alpha, 128);
    const InterfaceLayer& b = set.layers[1];
    EXPECT_TRUE(b.texturename == "RT");
    EXPECT_TRUE(b.text2 == "");
    EXPECT_TRUE(b.text3 == "# not a comment");  // "#" must be the first character
    EXPECT_EQ(b.blend, 4);
    EXPECT_EQ(b.keys[0].time, 2);  // 2.5 rounds to even
    EXPECT_EQ(b.keys[0].ease, 3);
    EXPECT_EQ(b.keys[0].alpha, 10);
    ifeFreeWith(set, nullptr);
    EXPECT_EQ(set.count, 0);
    EXPECT_EQ(set.layers, nullptr);
}

TEST(LayerFile, FieldsAreCutAtEachBlank) {
    ShortString line = S("1 2  3 x 5.25");
    EXPECT_TRUE(ifeField(line, 1) == "1");
    EXPECT_TRUE(ifeField(line, 3) == "");  // two blanks: an empty field between them
    EXPECT_TRUE(ifeField(line, 4) == "3");
    EXPECT_EQ(ifeFieldFloat(line, 4), 3);
    EXPECT_EQ(ifeFieldFloat(line, 5), 0);  // malformed reads as 0
    EXPECT_EQ(ifeFieldFloat(line, 6), 5.25f);
    EXPECT_EQ(ifeFieldFloat(line, 7), 0);  // beyond the line
    // Halves round to even for the time and the ease.
    InterfaceLayerSet set = Parse("1\n0\nt\n\n\n1\n0\n3.5 0 0 0.5 0 0 0 0 0 0 0\n");
    EXPECT_EQ(set.layers[0].keys[0].time, 4);
    EXPECT_EQ(set.layers[0].keys[0].ease, 0);
    ifeFreeWith(set, nullptr);
}

TEST(LayerFile, ValueReaderStopsAtTheEndOfTheFile) {
    std::string text = "#only\n#comments";
    TextReader r = TextReaderOf(text);
    EXPECT_TRUE(ifeReadValue(r) == "");
    EXPECT_TRUE(trEof(r));
    EXPECT_TRUE(ifeReadValue(r) == "");
}

TEST(LayerFile, MalformedIntegersEndThroughTheConversionError) {
    Failure f = ParseFails("two\n0\n");
    EXPECT_EQ(f.kind, FailRunError);
    EXPECT_EQ(f.code, 106);
    EXPECT_EQ(f.message, "\"two\" is an invalid integer");
    // Past the end of the file the value is empty, which is no integer.
    f = ParseFails("1\n0\nfeher.tga\n");
    EXPECT_EQ(f.message, "\"\" is an invalid integer");
    f = ParseFails("99999999999\n0\n");
    EXPECT_EQ(f.code, 106);
}

TEST(LayerFile, LayersWithoutKeysAreRefusedNamingTheFile) {
    Failure f = ParseFails("1\n0\nfeher.tga\n\n\n0\n1\n");
    EXPECT_EQ(f.kind, FailFatalStop);
    EXPECT_NE(f.message.find("test.ife"), std::string::npos);
    f = ParseFails("1\n0\nfeher.tga\n\n\n-3\n1\n");
    EXPECT_EQ(f.kind, FailFatalStop);
}

TEST(LayerFile, CountsTheFileCannotHoldAreRefused) {
    EXPECT_EQ(ParseFails("2000000000\n0\n").kind, FailFatalStop);
    EXPECT_EQ(ParseFails("-1\n0\n").kind, FailFatalStop);
    EXPECT_EQ(ParseFails("1\n0\nt\n\n\n2000000000\n1\n0 0 0\n").kind, FailFatalStop);
    // Missing key lines at the very end read as zero keys.
    InterfaceLayerSet set = Parse("1\n0\nt\n\n\n3\n1\n5 1 1 0 0 1 1 1 1 1 1\n");
    ASSERT_EQ(set.layers[0].keycount, 3);
    EXPECT_EQ(set.layers[0].keys[0].time, 5);
    EXPECT_EQ(set.layers[0].keys[2].time, 0);
    ifeFreeWith(set, nullptr);
}

// ------------------------------------------------------------ evaluation

InterfaceLayer TwoKeys(int ease) {
    static LayerKey keys[2];
    keys[0] = LayerKey{0, 0, 0, (uint8_t)ease, 0, 0, 0, 0, 0, 0, 0};
    keys[1] = LayerKey{1000, 1000, 100, 0, 360, 10, 20, 255, 255, 255, 255};
    InterfaceLayer l{};
    l.keycount = 2;
    l.keys = keys;
    return l;
}

TEST(LayerEvaluation, EaseKindsPlaceAQuarterOfTheTime) {
    EXPECT_NEAR(ifeEvaluate(TwoKeys(0), 250).x, 250, 1e-3);
    EXPECT_NEAR(ifeEvaluate(TwoKeys(1), 250).x, 1000 * std::sin(M_PI / 8), 1e-2);        // about 38.3 %
    EXPECT_NEAR(ifeEvaluate(TwoKeys(2), 250).x, 1000 * (1 - std::cos(M_PI / 8)), 1e-2);  // about 7.6 %
    EXPECT_NEAR(ifeEvaluate(TwoKeys(9), 250).x, 250, 1e-3);  // unknown kinds move linearly
    LayerState s = ifeEvaluate(TwoKeys(0), 500);
    EXPECT_NEAR(s.angle, 180, 1e-3);
    EXPECT_NEAR(s.alpha, 0.5, 1e-6);  // colours divided by 255
    EXPECT_NEAR(s.height, 10, 1e-5);
}

TEST(LayerEvaluation, OutsideTheKeysHoldTheEndKeys) {
    EXPECT_EQ(ifeEvaluate(TwoKeys(1), -50).x, 0);
    EXPECT_EQ(ifeEvaluate(TwoKeys(1), 5000).x, 1000);
    EXPECT_EQ(ifeEvaluate(TwoKeys(1), 1000).red, 1);
    LayerKey one{10, 7, 8, 0, 0, 1, 1, 255, 0, 0, 51};
    InterfaceLayer l{};
    l.keycount = 1;
    l.keys = &one;
    for (float t : {-100.0f, 10.0f, 1e6f}) {
        EXPECT_EQ(ifeEvaluate(l, t).x, 7);
        EXPECT_NEAR(ifeEvaluate(l, t).alpha, 0.2, 1e-6);
    }
}

TEST(LayerEvaluation, KeysAtTheSameTimeGiveNoNaN) {
    LayerKey keys[3] = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {100, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                        {100, 70, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    InterfaceLayer l{};
    l.keycount = 3;
    l.keys = keys;
    LayerState s = ifeEvaluate(l, 100);
    EXPECT_FALSE(std::isnan(s.x));
    EXPECT_EQ(s.x, 70);
    EXPECT_NEAR(ifeEvaluate(l, 50).x, 25, 1e-4);
}

}  // namespace
