// The song reader: what a song text becomes, and the faults it reports.
#include <gtest/gtest.h>

#include <cstring>

#include "support/support.h"
#include "synth_helpers.h"

namespace {

const char* kFullSong = R"(# a comment line
tempo 90.5        # beats per minute
steps 2
tail 0.25
volume 0.8
delay 1.5 0.5
reverb 0.3 0.7

instrument bass
  osc saw
  osc square -12.5 0.4
  filter highpass 150 0.25
  sweep -100 50
  env 3 120 0.5 40
  tune -12
  volume 0.9
  pan -0.5
  delay 0.2
  reverb 0.1
end
instrument snare
  drum snare
  decay 150
end

pattern a 4
  bass  C4 . | - Bb3
  snare x  o | .  x
  bass  c#2 - | . A4
end
pattern b 2
  snare . x
end
section one a
section two b a
arrange one two*3
arrange one
)";

TEST(Song, AFullSongReadsIntoTheRecord) {
    auto s = ParseSong(kFullSong);
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(s->tempo, 90.5f);
    EXPECT_EQ(s->stepsPerBeat, 2);
    EXPECT_FLOAT_EQ(s->tail, 0.25f);
    EXPECT_FLOAT_EQ(s->volume, 0.8f);
    EXPECT_FLOAT_EQ(s->delaySteps, 1.5f);
    EXPECT_FLOAT_EQ(s->delayFeedback, 0.5f);
    EXPECT_FLOAT_EQ(s->reverbSize, 0.3f);
    EXPECT_FLOAT_EQ(s->reverbDamp, 0.7f);

    ASSERT_EQ(s->instrumentCount, 2);
    const SongInstrument& bass = s->instruments[0];
    EXPECT_STREQ(bass.name, "bass");
    ASSERT_EQ(bass.oscCount, 2);
    EXPECT_EQ(bass.oscs[0].wave, Wave_saw);
    EXPECT_FLOAT_EQ(bass.oscs[0].level, 1);
    EXPECT_EQ(bass.oscs[1].wave, Wave_square);
    EXPECT_FLOAT_EQ(bass.oscs[1].detune, -12.5f);
    EXPECT_FLOAT_EQ(bass.oscs[1].level, 0.4f);
    EXPECT_EQ(bass.drum, -1);
    EXPECT_EQ(bass.filter, Filter_highpass);
    EXPECT_FLOAT_EQ(bass.cutoff, 150);
    EXPECT_FLOAT_EQ(bass.resonance, 0.25f);
    EXPECT_FLOAT_EQ(bass.sweep, -100);
    EXPECT_FLOAT_EQ(bass.sweepMs, 50);
    EXPECT_FLOAT_EQ(bass.attack, 3);
    EXPECT_FLOAT_EQ(bass.decay, 120);
    EXPECT_FLOAT_EQ(bass.sustain, 0.5f);
    EXPECT_FLOAT_EQ(bass.release, 40);
    EXPECT_FLOAT_EQ(bass.tune, -12);
    EXPECT_FLOAT_EQ(bass.volume, 0.9f);
    EXPECT_FLOAT_EQ(bass.pan, -0.5f);
    EXPECT_FLOAT_EQ(bass.delaySend, 0.2f);
    EXPECT_FLOAT_EQ(bass.reverbSend, 0.1f);
    const SongInstrument& snare = s->instruments[1];
    EXPECT_EQ(snare.drum, (int32_t)Drum_snare);
    EXPECT_EQ(snare.oscCount, 0);
    EXPECT_EQ(snare.filter, -1);
    EXPECT_FLOAT_EQ(snare.drumDecay, 150);

    ASSERT_EQ(s->patternCount, 2);
    const SongPattern& a = s->patterns[0];
    EXPECT_EQ(a.steps, 4);
    ASSERT_EQ(a.rowCount, 3);
    EXPECT_EQ(a.rows[0].instrument, 0);
    EXPECT_EQ(a.rows[1].instrument, 1);
    EXPECT_EQ(a.rows[2].instrument, 0);
    auto cells = [&](const SongRow& r) {
        std::vector<std::pair<int, int>> v;
        for (int i = 0; i < a.steps; ++i) v.push_back({s->cells[r.firstCell + i].note, s->cells[r.firstCell + i].velocity});
        return v;
    };
    // "|" only groups; C4 = 60, Bb3 = 58, C#2 = 37, A4 = 69; x full, o half.
    EXPECT_EQ(cells(a.rows[0]), (std::vector<std::pair<int, int>>{{60, 255}, {SongHold, 255}, {SongRelease, 255}, {58, 255}}));
    EXPECT_EQ(cells(a.rows[1]), (std::vector<std::pair<int, int>>{{60, 255}, {60, 128}, {SongHold, 255}, {60, 255}}));
    EXPECT_EQ(cells(a.rows[2]), (std::vector<std::pair<int, int>>{{37, 255}, {SongRelease, 255}, {SongHold, 255}, {69, 255}}));

    ASSERT_EQ(s->sectionCount, 2);
    EXPECT_EQ(s->sections[0].steps, 4);
    EXPECT_EQ(s->sections[1].steps, 4);  // the longest of its patterns
    EXPECT_EQ(s->sections[1].layerCount, 2);
    EXPECT_EQ(s->sections[1].layers[0], 1);
    EXPECT_EQ(s->sections[1].layers[1], 0);
    // Two arrange lines add up; "*3" repeats.
    ASSERT_EQ(s->arrangeCount, 5);
    EXPECT_EQ(std::vector<int>(s->arrange, s->arrange + 5), (std::vector<int>{0, 1, 1, 1, 0}));
    EXPECT_EQ(s->totalSteps, 20);
}

TEST(Song, DefaultsAndTiming) {
    auto s = ParseSong("instrument i\n osc sine\nend\npattern p 16\n i C4 . . . . . . . . . . . . . . .\nend\n"
                       "section s p\narrange s*2\n");
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(s->tempo, 120);
    EXPECT_EQ(s->stepsPerBeat, 4);
    EXPECT_FLOAT_EQ(s->tail, 1);
    const SongInstrument& i = s->instruments[0];
    EXPECT_EQ(i.filter, -1);
    EXPECT_FLOAT_EQ(i.volume, 0.5f);
    EXPECT_FLOAT_EQ(i.pan, 0);
    // 120 bpm, 4 steps a beat: a step is 125 ms = 5512.5 frames.
    EXPECT_EQ(songStepFrame(*s, 0), 0);
    EXPECT_EQ(songStepFrame(*s, 1), 5513);
    EXPECT_EQ(songStepFrame(*s, 2), 11025);
    EXPECT_EQ(songStepFrame(*s, 32), 176400);
    EXPECT_EQ(songFrames(*s), 176400 + 44100);
}

TEST(Song, NotesAcrossTheRange) {
    struct Case {
        const char* word;
        int note;
    } cases[] = {{"C0", 12}, {"A0", 21}, {"a0", 21}, {"B3", 59}, {"b3", 59}, {"Cb4", 59}, {"B#3", 60},
                 {"A4", 69}, {"F#2", 42}, {"G9", 127}, {"E5", 76}};
    for (const Case& c : cases) {
        auto s = ParseSong(std::string("instrument i\n osc saw\nend\npattern p 1\n i ") + c.word +
                           "\nend\nsection s p\narrange s\n");
        ASSERT_TRUE(s) << c.word;
        EXPECT_EQ(s->cells[0].note, c.note) << c.word;
    }
    // Past MIDI's range or not a note at all.
    for (const char* bad : {"G#9", "A9", "H4", "C", "C44", "C#", "Cx4", "X"}) {
        SongFault f = SongFaultOf(std::string("instrument i\n osc saw\nend\npattern p 1\n i ") + bad + "\nend\n");
        EXPECT_EQ(f.line, 5) << bad;
        EXPECT_NE(f.text.find("is not a step"), std::string::npos) << bad << ": " << f.text;
    }
}

// Every fault names its line and says what is wrong in one line.
TEST(Song, FaultsNameTheirLine) {
    const std::string head = "instrument i\n osc saw\nend\n";  // lines 1-3
    struct Case {
        std::string text;
        int line;
        const char* says;
    } cases[] = {
        {"tempo fast\n", 1, "tempo (beats per minute) wants a number from 20 to 400, not \"fast\""},
        {"\n\ntempo 1000\n", 3, "tempo"},
        {"tempo nan\n", 1, "tempo"},
        {"tempo inf\n", 1, "tempo"},
        {"tempo\n", 1, "tempo wants 1 value, not 0"},
        {"steps 2.5\n", 1, "steps (per beat) wants a whole number from 1 to 16"},
        {"steps 17\n", 1, "steps"},
        {"delay 3\n", 1, "delay wants 2 values, not 1"},
        {"delay 3 1.5\n", 1, "delay feedback"},
        {"bpm 120\n", 1, "unknown word \"bpm\""},
        {"instrument\n", 1, "instrument wants 1 value"},
        {"instrument a*b\n", 1, "is not a name"},
        {"instrument end\n", 1, "is not a name"},
        {"instrument abcdefghijklmnopqrstuvwxyz0123456\n", 1, "is not a name"},
        {head + "instrument i\n", 4, "instrument \"i\" is defined twice"},
        {"instrument j\n osc triangle\nend\n", 2, "unknown wave \"triangle\""},
        {"instrument j\n osc saw 1 2 3\nend\n", 2, "osc wants 1 to 3 values, not 4"},
        {"instrument j\n osc saw 5000\nend\n", 2, "osc detune"},
        {"instrument j\n osc saw\n osc saw\n osc saw\n osc saw\nend\n", 5, "at most 3 osc lines"},
        {"instrument j\n drum tom\nend\n", 2, "unknown drum \"tom\""},
        {"instrument j\n drum kick\n osc saw\nend\n", 3, "a drum instrument has no osc lines"},
        {"instrument j\n osc saw\n drum kick\nend\n", 3, "cannot be a drum"},
        {"instrument j\n filter notch 100\nend\n", 2, "unknown filter \"notch\""},
        {"instrument j\n filter lowpass 5\nend\n", 2, "filter cutoff (Hz)"},
        {"instrument j\n filter lowpass 500 2\nend\n", 2, "filter resonance"},
        {"instrument j\n env 1 2 3\nend\n", 2, "env wants 4 to 4 values, not 3"},
        {"instrument j\n env 1 2 1.5 4\nend\n", 2, "env sustain level"},
        {"instrument j\n pan 2\nend\n", 2, "pan wants a number from -1 to 1"},
        {"instrument j\n wobble 2\nend\n", 2, "unknown instrument setting \"wobble\""},
        {"instrument j\n volume 1\nend\n", 1, "instrument \"j\" has neither an osc nor a drum line"},
        {"\ninstrument j\n osc saw\n", 2, "instrument \"j\" has no end line"},
        {head + "pattern p 2\n i C4 .\n", 4, "pattern \"p\" has no end line"},
        {head + "pattern p 2\n i C4 .\nend now\n", 6, "\"end\" stands alone"},
        {head + "pattern p 0\nend\n", 4, "pattern length (steps) wants a whole number from 1 to 256"},
        {head + "pattern p 257\nend\n", 4, "pattern length"},
        {head + "pattern p 4\n i C4 . .\nend\n", 5, "the row has 3 steps; pattern \"p\" has 4"},
        {head + "pattern p 2\n i C4 . | .\nend\n", 5, "the row has 3 steps"},
        {head + "pattern p 2\n k C4 .\nend\n", 5, "unknown instrument \"k\""},
        {head + "pattern p 2\n i C4 Q\nend\n", 5, "\"Q\" is not a step"},
        {head + "pattern p 1\n i x\nend\npattern p 1\nend\n", 7, "pattern \"p\" is defined twice"},
        {head + "section s nothing\n", 4, "unknown pattern \"nothing\""},
        {head + "pattern p 1\nend\nsection s\n", 6, "section wants 2 to 9 values, not 1"},
        {head + "pattern p 1\nend\nsection s p\nsection s p\n", 7, "section \"s\" is defined twice"},
        {head + "pattern p 1\nend\nsection s p\narrange t\n", 7, "unknown section \"t\""},
        {head + "pattern p 1\nend\nsection s p\narrange s*0\n", 7, "a repeat is a whole number"},
        {head + "pattern p 1\nend\nsection s p\narrange s*x\n", 7, "a repeat is a whole number"},
        {head + "pattern p 1\nend\nsection s p\narrange s*4097\n", 7, "a repeat is a whole number"},
        {head + "pattern p 1\nend\nsection s p\narrange s*4000 s*97\n", 7, "more than 4096 section plays"},
        {head + "pattern p 1\nend\nsection s p\n", 6, "the song has no arrange line"},
        {"", 1, "the song has no arrange line"},
        // 256 steps at 20 bpm, one a beat: 768 s.
        {"tempo 20\nsteps 1\n" + head + "pattern p 256\nend\nsection s p\n\narrange s\n\n", 10,
         "the song lasts 769.0 seconds; at most 600"},
        // Three steps at 20 bpm and 1 step a beat: a 9 s echo.
        {"tempo 20\nsteps 1\ndelay 3 0.5\n" + head + "pattern p 1\nend\nsection s p\narrange s\n", 3,
         "the delay is longer than 4 seconds"},
    };
    for (const Case& c : cases) {
        SongFault f = SongFaultOf(c.text);
        EXPECT_EQ(f.line, c.line) << c.text << "\n-> " << f.text;
        EXPECT_NE(f.text.find(c.says), std::string::npos) << c.text << "\n-> " << f.text;
        EXPECT_EQ(f.text.find('\n'), std::string::npos);
    }
}

TEST(Song, TablesHaveLimitsNotOverruns) {
    std::string many;
    for (int i = 0; i <= SongMaxInstruments; ++i) many += "instrument i" + std::to_string(i) + "\n osc saw\nend\n";
    SongFault f = SongFaultOf(many);
    EXPECT_EQ(f.line, 3 * SongMaxInstruments + 1);
    EXPECT_NE(f.text.find("at most 32 instruments"), std::string::npos) << f.text;

    std::string rows = "instrument i\n osc saw\nend\npattern p 1\n";
    for (int i = 0; i <= SongMaxRows; ++i) rows += " i x\n";
    f = SongFaultOf(rows + "end\n");
    EXPECT_EQ(f.line, 5 + SongMaxRows);
    EXPECT_NE(f.text.find("more than 16 rows"), std::string::npos) << f.text;

    // 16 rows of 256 steps fill 4096 cells: the 17th such pattern is one too many.
    std::string row = " i";
    for (int i = 0; i < 256; ++i) row += " .";
    std::string cells = "instrument i\n osc saw\nend\n";
    int line = 3;
    for (int p = 0; p < 17; ++p) {
        cells += "pattern p" + std::to_string(p) + " 256\n", ++line;
        for (int r = 0; r < 16; ++r) cells += row + "\n", ++line;
        cells += "end\n", ++line;
    }
    f = SongFaultOf(cells);
    EXPECT_EQ(f.line, 3 + 16 * 18 + 2);
    EXPECT_NE(f.text.find("more than 65536 pattern steps"), std::string::npos) << f.text;

    std::string layers = "instrument i\n osc saw\nend\npattern p 1\nend\nsection s p p p p p p p p p\n";
    f = SongFaultOf(layers);
    EXPECT_EQ(f.line, 6);

    std::string longLine(5000, ' ');
    f = SongFaultOf("tempo 100\n" + longLine + "\n");
    EXPECT_EQ(f.line, 2);
    EXPECT_NE(f.text.find("longer than 4096"), std::string::npos);
}

TEST(Song, AnyBytesGiveAVerdictWithoutHarm) {
    // Nul bytes, CR line ends, high bytes and a missing last line end.
    std::string odd = "tempo 100\r\ninstrument \xff\x01\n";
    odd += std::string("\0\0\0", 3);
    SongFault f = SongFaultOf(odd);
    EXPECT_EQ(f.line, 2);
    auto s = ParseSong("instrument i\r\n osc saw\r\nend\r\npattern p 1\r\n i x\r\nend\r\nsection s p\r\narrange s");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->arrangeCount, 1);
}

}  // namespace
