// The loudness table: bands, timing, scaling, the file's bytes and the picture.
#include <gtest/gtest.h>

#include <cmath>

#include "support/support.h"
#include "synth_helpers.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

std::vector<float> Tone(double hz, double amplitude, double seconds, int32_t rate = 44100, int32_t channels = 1) {
    std::vector<float> s((size_t)(seconds * rate) * (size_t)channels);
    for (size_t f = 0; f < s.size() / (size_t)channels; ++f)
        for (int32_t c = 0; c < channels; ++c)
            s[f * (size_t)channels + (size_t)c] = (float)(amplitude * std::sin(2 * M_PI * hz * (double)f / rate));
    return s;
}

// Fades the ends in and out over 100 ms: an abrupt start sounds in every band.
std::vector<float> Faded(std::vector<float> s, int32_t rate = 44100) {
    size_t n = (size_t)rate / 10, frames = s.size();
    for (size_t f = 0; f < n && f < frames; ++f) {
        float g = (float)f / (float)n;
        s[f] *= g, s[frames - 1 - f] *= g;
    }
    return s;
}

// Index of the first value of the band at or above `level` in k0..k1.
int FirstAtLeast(const LoudnessTable& t, int band, int k0, int k1, int level) {
    for (int k = k0; k <= k1; ++k)
        if (t.values[band][k] >= level) return k;
    return -1;
}

TEST(Loudness, FourBandsPerDecadeFrom20HzTo20kHz) {
    for (int b = 0; b <= LoudnessBands; ++b)
        EXPECT_NEAR(LoudnessBandEdges[b], 20 * std::pow(10.0, b / 4.0), LoudnessBandEdges[b] * 1e-4) << b;
    // The drums' bands: kick attack and snare body.
    EXPECT_FLOAT_EQ(LoudnessBandEdges[4], 200);
    EXPECT_NEAR(LoudnessBandEdges[5], 355.66, 0.01);
    EXPECT_NEAR(LoudnessBandEdges[6], 632.46, 0.01);
    EXPECT_EQ(LoudnessTableBytes, 137304);
}

TEST(Loudness, ValueKBelongsToKTimes10000Over441Ms) {
    EXPECT_EQ(loudnessValueFrame(0, 44100), 0);
    EXPECT_EQ(loudnessValueFrame(1, 44100), 1000);
    EXPECT_EQ(loudnessValueFrame(4410, 44100), 4410000);  // 100000 ms
    EXPECT_EQ(loudnessValueFrame(11441, 44100), 11441000);
    EXPECT_EQ(loudnessValueFrame(441, 48000), 480000);    // 10 s at 48 kHz
    EXPECT_EQ(loudnessValueFrame(1, 48000), 1088);        // 1088.4, rounded down
    EXPECT_EQ(loudnessWindow(44100), 2048);
    EXPECT_EQ(loudnessWindow(48000), 2048);
    EXPECT_EQ(loudnessWindow(22050), 1024);
    EXPECT_EQ(loudnessWindow(96000), 4096);
    EXPECT_GE(LoudnessSeconds * 1000, 11441 * 10000.0 / 441 + 2048 / 44.1 / 2);
}

TEST(Loudness, ATonesLevelShowsInItsOwnBand) {
    // A tone at the middle of each band (on a log scale); bands 0 and 1 are
    // narrower than the window's resolution and share their neighbours.
    for (int b = 2; b < LoudnessBands; ++b) {
        double hz = 20 * std::pow(10.0, (b + 0.5) / 4);
        std::vector<float> s = Faded(Tone(hz, 0.5, 2));
        auto t = TableOf(s, 1, 44100);
        int loudest = 0;
        for (int o = 0; o < LoudnessBands; ++o)
            if (t->reference[o] > t->reference[loudest]) loudest = o;
        // (a band far below the loudest is measured, and scaled, at -40 dB)
        EXPECT_EQ(loudest, b) << hz << " Hz";
        // A sine of amplitude 0.5 has an RMS level of 0.354.
        EXPECT_NEAR(t->reference[b], 0.5 / std::sqrt(2.0), b >= 4 ? 0.01 : 0.06) << hz << " Hz";
        if (b >= 4) {
            for (int o = 0; o < LoudnessBands; ++o)
                if (std::abs(o - b) > 1) { EXPECT_LT(t->reference[o], t->reference[b] * 0.02) << hz << " Hz, band " << o; }
        }
        // Steady: the middle reads 255 from end to end.
        EXPECT_EQ(t->values[b][44], 255);
    }
}

TEST(Loudness, AKickEvery500MsPeaksAtEachKickAndIsQuietBetween) {
    const int kicks = 8;
    std::vector<float> music = RenderText(KickSong(kicks));
    ASSERT_FALSE(music.empty());
    auto t = TableOf(music, 2, 44100);
    for (int band = 1; band <= 3; ++band) {  // the kick's body: 35 to 200 Hz
        for (int i = 0; i < kicks; ++i) {
            double at = i * 500 * 0.0441;  // the kick's place in the table: 22.05 values apart
            int k0 = (int)std::floor(at);
            int peak = k0 < 3 ? 0 : k0 - 3;
            for (int k = peak; k <= k0 + 10; ++k)
                if (t->values[band][k] > t->values[band][peak]) peak = k;
            EXPECT_LE(std::fabs(peak - at), 1.0) << "band " << band << " kick " << i;
            EXPECT_GE(t->values[band][peak], 150) << "band " << band << " kick " << i;
            // Quiet half-way to the next kick.
            EXPECT_LT(t->values[band][(int)(at + 11)], 40) << "band " << band << " kick " << i;
        }
    }
}

TEST(Loudness, DrumHitsRiseInBands4And5) {
    // Kick and snare each alone, then taking turns over a sine bass line
    // (below 100 Hz): bands 4 and 5 follow the drums.
    const char* head = "tempo 120\nsteps 2\ntail 0.5\n"
                       "instrument kick\n drum kick\nend\ninstrument snare\n drum snare\n volume 0.4\nend\n"
                       "instrument bass\n osc sine\n env 5 100 0.8 50\n volume 0.5\nend\npattern p 16\n";
    const char* tail = "end\nsection s p\narrange s\n";
    const char* kicks = " kick  x . x . x . x . x . x . x . x .\n";
    const char* snares = " snare x . x . x . x . x . x . x . x .\n";
    const char* turns = " kick  x . . . x . . . x . . . x . . .\n snare . . x . . . x . . . x . . . x .\n";
    const char* bass = " bass  A1 . . . C2 . . . D2 . . . G1 . . .\n";
    for (std::string rows : {std::string(kicks), std::string(snares), std::string(turns) + bass}) {
        std::vector<float> music = RenderText(head + rows + tail);
        auto t = TableOf(music, 2, 44100);
        for (int hit = 0; hit < 8; ++hit) {  // one every 500 ms
            int at = (int)(hit * 500 * 0.0441);
            // What the show reads: the sum of bands 4 and 5, 0..2.
            auto level = [&](int k) { return (t->values[4][k] + t->values[5][k]) / 255.0; };
            double peak = std::max(level(at), level(at + 1));
            EXPECT_GE(peak, 0.8) << rows << "hit " << hit;
            if (at > 2) { EXPECT_LT(level(at - 2), 0.2) << rows << "hit " << hit; }
            EXPECT_LT(level(at + 8), 0.2) << rows << "hit " << hit;
        }
    }
}

TEST(Loudness, ScaleBandsByTheirUsualLevelNotTheirLoudestMoment) {
    // Ten seconds of a quiet 1 kHz tone with one short burst twenty times louder.
    std::vector<float> s = Tone(1000, 0.02, 10);
    for (size_t f = 220500; f < 222705; ++f) s[f] *= 20;
    auto t = TableOf(s, 1, 44100);
    EXPECT_EQ(t->values[6][100], 255);  // the tone is the band's usual level
    EXPECT_EQ(t->values[6][222], 255);  // the burst cannot go higher
    EXPECT_NEAR(t->reference[6], 0.02 / std::sqrt(2.0), 0.001);
    // Far quieter than -80 dB full scale is silence.
    std::vector<float> faint = Tone(1000, 3e-5, 2);
    auto f = TableOf(faint, 1, 44100);
    for (int b = 0; b < LoudnessBands; ++b)
        for (int k = 0; k < LoudnessValues; ++k) ASSERT_EQ(f->values[b][k], 0);
}

TEST(Loudness, ShortMusicIsPaddedAndLongMusicCut) {
    std::vector<float> second = Tone(440, 0.5, 1);
    auto t = TableOf(second, 1, 44100);
    EXPECT_EQ(t->used, 45);  // values 0..44 lie within 44100 frames
    EXPECT_GT(t->values[5][44], 0);
    for (int b = 0; b < LoudnessBands; ++b)
        for (int k = 45; k < LoudnessValues; ++k) ASSERT_EQ(t->values[b][k], 0) << b << " " << k;
    // 270 s at a low rate, to be quick: the table ends at 259.4 s.
    std::vector<float> longer = Tone(440, 0.5, 270, 4000);
    t = TableOf(longer, 1, 4000);
    EXPECT_EQ(t->used, LoudnessValues);
    EXPECT_EQ(t->values[5][LoudnessValues - 1], 255);
    // Nothing at all: an empty table.
    std::vector<float> none;
    t = TableOf(none, 2, 44100);
    EXPECT_EQ(t->used, 0);
}

TEST(Loudness, AnyRateAndChannelCountKeepsTheClock) {
    for (int32_t rate : {22050, 44100, 48000, 96000}) {
        // Silence with a click of white-ish noise at 2 s.
        std::vector<float> s((size_t)rate * 4 * 2);
        uint32_t x = 1;
        for (size_t f = (size_t)rate * 2; f < (size_t)rate * 2 + (size_t)rate / 100; ++f) {
            x = x * 1664525u + 1013904223u;
            s[2 * f] = s[2 * f + 1] = (float)(int32_t)x / 2147483648.0f * 0.8f;
        }
        auto t = TableOf(s, 2, rate);
        int k = FirstAtLeast(*t, 8, 0, 200, 128);
        EXPECT_GE(k, 88) << rate;  // 2000 ms × 0.0441 = 88.2
        EXPECT_LE(k, 89) << rate;
    }
    // Mono and the same music in stereo or six channels give the same table.
    std::vector<float> mono = Tone(300, 0.3, 2), stereo = Tone(300, 0.3, 2, 44100, 2), six = Tone(300, 0.3, 2, 44100, 6);
    auto a = TableOf(mono, 1, 44100), b = TableOf(stereo, 2, 44100), c = TableOf(six, 6, 44100);
    EXPECT_EQ(loudnessBytes(*a), loudnessBytes(*b));
    EXPECT_EQ(loudnessBytes(*a), loudnessBytes(*c));
}

TEST(Loudness, FileBytesAreBandAfterBand) {
    auto t = std::make_unique<LoudnessTable>();
    for (int b = 0; b < LoudnessBands; ++b)
        for (int k = 0; k < LoudnessValues; ++k) t->values[b][k] = (uint8_t)(b * 20 + k % 7);
    std::string bytes = loudnessBytes(*t);
    ASSERT_EQ(bytes.size(), 137304u);
    EXPECT_EQ((uint8_t)bytes[0], 0);
    EXPECT_EQ((uint8_t)bytes[11442 * 4 + 4410], 80 + 4410 % 7);  // band 4 at 100000 ms
    EXPECT_EQ((uint8_t)bytes[137303], 220 + 11441 % 7);
}

TEST(Loudness, ThePictureShowsTheBandsOverTime) {
    // Loud only in the highest band, for one second.
    std::vector<float> s = Tone(15000, 0.5, 1);
    auto t = TableOf(s, 1, 44100);
    std::string png = loudnessPng(*t);
    int w = 0, h = 0, n = 0;
    uint8_t* px = stbi_load_from_memory((const uint8_t*)png.data(), (int)png.size(), &w, &h, &n, 3);
    ASSERT_TRUE(px);
    EXPECT_EQ(w, 45 * 8);  // short music: eight pixels a value
    EXPECT_EQ(h, 12 * 52);
    auto at = [&](int x, int y) { return std::vector<int>{px[(y * w + x) * 3], px[(y * w + x) * 3 + 1], px[(y * w + x) * 3 + 2]}; };
    // Band 11's strip is at the top and filled; band 0's at the bottom is empty.
    std::vector<int> top = at(100, 10), bottom = at(100, h - 10);
    EXPECT_GT(top[0] + top[1] + top[2], 300);
    EXPECT_EQ(bottom, (std::vector<int>{16, 16, 24}));
    stbi_image_free(px);
    // An empty table still makes a picture.
    auto empty = std::make_unique<LoudnessTable>();
    std::string blank = loudnessPng(*empty);
    px = stbi_load_from_memory((const uint8_t*)blank.data(), (int)blank.size(), &w, &h, &n, 3);
    ASSERT_TRUE(px);
    stbi_image_free(px);
}

}  // namespace
