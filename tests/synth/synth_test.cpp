// The synthesiser: timing, pitch, envelopes, voices, effects and limits.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/support.h"
#include "synth_helpers.h"

namespace {

// One instrument "i" playing one row; `top` goes before (tempo, effects).
// 120 bpm and 4 steps a beat unless `top` says otherwise: a step is 5512.5 frames.
std::string OneRow(const std::string& instrument, const std::string& row, const std::string& top = "tail 1\n") {
    std::istringstream words(row);
    int steps = 0;
    for (std::string w; words >> w;) steps += w != "|";
    return top + "instrument i\n" + instrument + "end\npattern p " + std::to_string(steps) + "\n i " + row +
           "\nend\nsection s p\narrange s\n";
}

const char* kSine = " osc sine\n env 1 100 1 10\n volume 0.5\n";

// Frequency from upward zero crossings over frames [from, to) of the left channel.
double Frequency(const std::vector<float>& s, size_t from, size_t to) {
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t f = from + 1; f < to; ++f)
        if (s[2 * (f - 1)] < 0 && s[2 * f] >= 0) {
            if (!crossings) first = f;
            last = f;
            ++crossings;
        }
    return crossings > 1 ? (crossings - 1) * 44100.0 / (double)(last - first) : 0;
}

// First frame whose sample is not exactly 0 (either channel).
size_t FirstSound(const std::vector<float>& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] != 0) return i / 2;
    return s.size() / 2;
}

// Last frame with a sample louder than `level`.
size_t LastAbove(const std::vector<float>& s, float level) {
    for (size_t i = s.size(); i-- > 0;)
        if (std::fabs(s[i]) > level) return i / 2;
    return 0;
}

TEST(Synth, TheSameSongGivesTheSameSamplesInAnyBlockSize) {
    std::string text = ReadFileText(std::string(VELMAR_TEST_SOURCE_DIR) + "/tools/synth/examples/demo.song");
    auto song = ParseSong(text);
    ASSERT_TRUE(song);
    std::vector<float> a = Render(*song);
    std::vector<float> b = Render(*song);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
    // Blocks of odd sizes cross step boundaries anywhere: nothing may move.
    for (int32_t block : {1, 37, 1000, 44100}) {
        Synth* s = new Synth;
        synthStart(*s, *song);
        std::vector<float> c(a.size() + 2 * (size_t)block);
        size_t at = 0;
        for (int32_t n; (n = synthRender(*s, c.data() + 2 * at, block)) > 0;) at += (size_t)n;
        synthStop(*s);
        delete s;
        ASSERT_EQ(at * 2, a.size()) << block;
        c.resize(a.size());
        EXPECT_TRUE(c == a) << "block " << block;
    }
    EXPECT_GT(Rms(a, 0, a.size() / 2), 0.05);
    EXPECT_LE(Peak(a), 0.9f);
}

TEST(Synth, NotesStartOnTheirStepToTheFrame) {
    // The third step begins at 2 × 5512.5 = frame 11025.
    for (const char* instrument :
         {kSine, " osc saw\n", " osc square\n", " drum kick\n", " drum snare\n", " drum hat\n", " osc noise\n"}) {
        std::vector<float> s = RenderText(OneRow(instrument, ". . x . ."));
        ASSERT_FALSE(s.empty());
        // Band-limited oscillators begin at a zero crossing: their first
        // sample may be 0, the next is not.
        EXPECT_GE(FirstSound(s), 11025u) << instrument;
        EXPECT_LE(FirstSound(s), 11026u) << instrument;
    }
    // A song of rests is silent throughout and as long as its steps and tail.
    std::vector<float> quiet = RenderText(OneRow(kSine, ". . . . - - . ."));
    EXPECT_EQ(quiet.size(), 2u * (44100 + 44100));
    EXPECT_EQ(Peak(quiet), 0);
}

TEST(Synth, PitchFollowsNoteTuneAndDetune) {
    struct Case {
        const char* instrument;
        const char* note;
        double hz;
    } cases[] = {
        {" osc sine\n env 1 100 1 10\n", "A4", 440},
        {" osc sine\n env 1 100 1 10\n", "A3", 220},
        {" osc sine\n env 1 100 1 10\n", "C4", 261.63},
        {" osc sine\n env 1 100 1 10\n tune 12\n", "A4", 880},
        {" osc sine 1200\n env 1 100 1 10\n", "A4", 880},
        {" osc sine -700\n env 1 100 1 10\n", "E5", 440.0 * std::pow(2.0, (7 - 7) / 12.0)},
        {" osc saw\n env 1 100 1 10\n filter lowpass 600\n", "A2", 110},
    };
    for (const Case& c : cases) {
        std::vector<float> s = RenderText(OneRow(c.instrument, std::string(c.note) + " . . ."));
        ASSERT_FALSE(s.empty());
        EXPECT_NEAR(Frequency(s, 2000, 20000), c.hz, c.hz * 0.003) << c.instrument << c.note;
    }
}

TEST(Synth, HoldReleaseAndSectionEnds) {
    // Release 10 ms: a "-" on step 1 silences the note by about 5512 + 441 frames.
    std::string instrument = " osc sine\n env 1 100 1 10\n";
    std::vector<float> held = RenderText(OneRow(instrument, "A4 . . ."));
    std::vector<float> cut = RenderText(OneRow(instrument, "A4 - . ."));
    EXPECT_GT(Rms(held, 15000, 16000), 0.1);
    EXPECT_EQ(Rms(cut, 5513 + 445, 22050), 0);
    EXPECT_GT(Rms(cut, 5000, 5500), 0.1);
    // A new note on the same row lets the old one go: one tone at a time.
    std::vector<float> two = RenderText(OneRow(instrument, "A4 . A5 ."));
    EXPECT_NEAR(Frequency(two, 11025 + 1000, 22000), 880, 3);
    // Sustain 0: the note ends with its decay, held or not.
    std::vector<float> pluck = RenderText(OneRow(" osc sine\n env 1 50 0 500\n", "A4 . . ."));
    EXPECT_LE(LastAbove(pluck, 0), 45u + 2205u + 5);
    // At the end of the arrangement every note is released into the tail.
    std::vector<float> end = RenderText(OneRow(" osc sine\n env 1 100 1 200\n", "A4 . . ."));
    EXPECT_GT(LastAbove(end, 0), 22050u + 4410u);
    EXPECT_LE(LastAbove(end, 0), 22050u + 8820u + 2);
}

TEST(Synth, EachSectionStartsClean) {
    std::string text = "instrument i\n osc sine\n env 1 100 1 10\nend\n"
                       "pattern long 4\n i A4 . . .\nend\npattern rest 4\n i . . . .\nend\n"
                       "section a long\nsection b rest\narrange a b\n";
    std::vector<float> s = RenderText(text);
    EXPECT_GT(Rms(s, 20000, 22000), 0.1);
    EXPECT_EQ(Rms(s, 22050 + 500, 44100), 0);  // held across the section's end: released
}

TEST(Synth, PanVolumeAndVelocity) {
    std::vector<float> left = RenderText(OneRow(std::string(kSine) + " pan -1\n", "A4 . . ."));
    std::vector<float> right = RenderText(OneRow(std::string(kSine) + " pan 1\n", "A4 . . ."));
    std::vector<float> centre = RenderText(OneRow(kSine, "A4 . . ."));
    EXPECT_GT(Rms(left, 0, 20000, 0), 0.1);
    EXPECT_EQ(Rms(left, 0, 20000, 1), 0);
    EXPECT_EQ(Rms(right, 0, 20000, 0), 0);
    EXPECT_GT(Rms(right, 0, 20000, 1), 0.1);
    EXPECT_DOUBLE_EQ(Rms(centre, 0, 20000, 0), Rms(centre, 0, 20000, 1));
    // Constant power: a side carries as much as both sides of the centre.
    EXPECT_NEAR(Rms(left, 0, 20000, 0), std::sqrt(2.0) * Rms(centre, 0, 20000, 0), 1e-3);

    std::vector<float> loud = RenderText(OneRow(" osc sine\n env 1 100 1 10\n volume 0.2\n", "x . . ."));
    std::vector<float> soft = RenderText(OneRow(" osc sine\n env 1 100 1 10\n volume 0.2\n", "o . . ."));
    std::vector<float> half = RenderText(OneRow(" osc sine\n env 1 100 1 10\n volume 0.1\n", "x . . ."));
    EXPECT_NEAR(Rms(soft, 5000, 20000) / Rms(loud, 5000, 20000), 128.0 / 255.0, 0.005);
    EXPECT_NEAR(Rms(half, 5000, 20000) / Rms(loud, 5000, 20000), 0.5, 0.005);
    // The envelope's sustain level holds the note there.
    std::vector<float> sustained = RenderText(OneRow(" osc sine\n env 1 20 0.25 10\n volume 0.2\n", "x . . ."));
    EXPECT_NEAR(Rms(sustained, 5000, 20000) / Rms(loud, 5000, 20000), 0.25, 0.01);
}

TEST(Synth, FiltersShapeTheSound) {
    auto rmsOf = [](const std::string& instrument, const char* note) {
        std::vector<float> s = RenderText(OneRow(" osc saw\n env 1 100 1 10\n" + instrument, std::string(note) + " . . ."));
        return Rms(s, 2000, 20000);
    };
    double open = rmsOf("", "C6");
    EXPECT_LT(rmsOf(" filter lowpass 200\n", "C6"), open * 0.15);    // 1 kHz far above the cutoff
    EXPECT_GT(rmsOf(" filter lowpass 8000\n", "C6"), open * 0.8);    // well below it
    EXPECT_LT(rmsOf(" filter highpass 8000\n", "C2"), open * 0.15);
    EXPECT_GT(rmsOf(" filter bandpass 1047 0.9\n", "C6"), rmsOf(" filter bandpass 4000 0.9\n", "C6") * 2);
    // A sweep opens the filter at the note's start and closes it over its time.
    std::vector<float> swept =
        RenderText(OneRow(" osc saw\n env 1 100 1 10\n filter lowpass 100\n sweep 8000 100\n", "C6 . . ."));
    EXPECT_GT(Rms(swept, 100, 1500), 5 * Rms(swept, 10000, 20000));
    // Full resonance rings but stays finite and within the limiter.
    std::vector<float> ringing = RenderText(OneRow(" osc noise\n filter lowpass 1000 1\n volume 4\n", "x . . ."));
    for (float x : ringing) ASSERT_TRUE(std::isfinite(x));
    EXPECT_LE(Peak(ringing), 0.9f);
}

TEST(Synth, DrumsEndWithTheirDecayAndAChoke) {
    struct Case {
        const char* instrument;
        double ms;  // length of the drum
    } cases[] = {{" drum kick\n", 400},   {" drum snare\n", 220}, {" drum hat\n", 60},
                 {" drum openhat\n", 400}, {" drum kick\n decay 50\n", 50}};
    for (const Case& c : cases) {
        std::vector<float> s = RenderText(OneRow(c.instrument, "x . . . . . . ."));
        size_t last = LastAbove(s, 0);
        EXPECT_GT(last, c.ms * 44.1 * 0.5) << c.instrument;
        EXPECT_LE(last, c.ms * 44.1 + 12) << c.instrument;
    }
    // "-" chokes a ringing drum within 5 ms.
    std::vector<float> choked = RenderText(OneRow(" drum openhat\n", "x - . . . . . ."));
    EXPECT_LE(LastAbove(choked, 0), 5513u + 224u);
    EXPECT_GT(LastAbove(choked, 0), 5513u);
}

TEST(Synth, EchoRepeatsAfterItsTime) {
    // A 20 ms blip sent to an echo of 4 steps (22050 frames) at half feedback.
    std::string top = "tail 2\ndelay 4 0.5\n";
    std::vector<float> s = RenderText(OneRow(" osc sine\n env 1 20 0 5\n delay 1\n", "A4 . . . . . . .", top));
    double blip = Rms(s, 0, 900), first = Rms(s, 22050, 22950), second = Rms(s, 44100, 45000);
    EXPECT_EQ(Rms(s, 1000, 22000), 0);
    EXPECT_GT(first, blip * 0.8);  // the first repeat is the send itself
    EXPECT_GT(second, first * 0.2);
    EXPECT_LT(second, first * 0.6);
    EXPECT_EQ(Rms(s, 23000, 44000), 0);
    // Without the send the blip stays alone.
    std::vector<float> dry = RenderText(OneRow(" osc sine\n env 1 20 0 5\n", "A4 . . . . . . .", top));
    EXPECT_EQ(Rms(dry, 1000, dry.size() / 2), 0);
}

TEST(Synth, ReverbLeavesATailThatFades) {
    std::string top = "tail 3\nreverb 0.8 0.3\n";
    std::vector<float> wet = RenderText(OneRow(" osc saw\n env 1 50 0 5\n reverb 1\n", "C4 . . .", top));
    std::vector<float> dry = RenderText(OneRow(" osc saw\n env 1 50 0 5\n", "C4 . . .", top));
    EXPECT_EQ(Rms(dry, 3000, dry.size() / 2), 0);
    double early = Rms(wet, 5000, 15000), late = Rms(wet, 90000, 110000);
    EXPECT_GT(early, 1e-3);
    EXPECT_GT(late, 0);
    EXPECT_LT(late, early * 0.5);
    // Left and right differ: the room is stereo.
    EXPECT_NE(Rms(wet, 5000, 15000, 0), Rms(wet, 5000, 15000, 1));
}

TEST(Synth, TheLimiterKeepsEverythingBelowFullScale) {
    std::string text = "volume 4\ninstrument i\n osc saw\n osc square\n osc noise\n volume 4\n env 1 100 1 10\nend\n"
                       "pattern p 4\n";
    for (int r = 0; r < 16; ++r) text += " i C" + std::to_string(r % 8 + 1) + " . x .\n";
    text += "end\nsection s p p p p p p p p\narrange s*2\n";  // 128 notes at once: more than the voices
    auto song = ParseSong(text);
    ASSERT_TRUE(song);
    Synth* s = new Synth;
    synthStart(*s, *song);
    std::vector<float> out(2 * (size_t)songFrames(*song));
    int64_t at = 0;
    for (int32_t n; (n = synthRender(*s, out.data() + 2 * at, 4096)) > 0;) at += n;
    EXPECT_GT(s->peak, 1.0f);
    EXPECT_GT(s->limited, 0);
    synthStop(*s);
    delete s;
    for (float x : out) ASSERT_TRUE(std::isfinite(x));
    EXPECT_LE(Peak(out), 0.9f);
    EXPECT_GT(Peak(out), 0.85f);
    // Quiet music passes untouched.
    auto quiet = ParseSong(OneRow(kSine, "A4 . . ."));
    ASSERT_TRUE(quiet);
    s = new Synth;
    synthStart(*s, *quiet);
    std::vector<float> q(2 * (size_t)songFrames(*quiet));
    while (synthRender(*s, q.data(), 4096) > 0) {}
    EXPECT_EQ(s->limited, 0);
    EXPECT_NEAR(s->peak, 0.5f, 0.01f);
    synthStop(*s);
    delete s;
}

}  // namespace
