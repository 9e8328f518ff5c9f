// The music tools: song reader, synthesiser, audio files, loudness table and picture, velmar music and loudness.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numeric>

#include "support/support.h"
#include "tools/synth/audio.h"
#include "tools/synth/loudness.h"
#include "tools/synth/synth.h"

namespace {

using Pcm = std::vector<float>;
using Ints = std::vector<int64_t>;
using namespace std::string_literals;
const auto npos = std::string::npos;

// Measurements, each with the range it must lie in.
struct Within {
    std::string what;
    double got, lo, hi;
    Within(std::string w, auto g, auto l, auto h) : what(std::move(w)), got((double)g), lo((double)l), hi((double)h) {}
};
void ExpectAll(std::initializer_list<Within> checks) {
    for (const Within& c : checks) EXPECT_TRUE(c.got >= c.lo && c.got <= c.hi) << c.what << " = " << c.got << ", not " << c.lo << ".." << c.hi;
}

// The song a text gives; null when refused, with the fault in `fault` (else the test fails).
std::unique_ptr<Song> Parse(const std::string& text, SongError* fault = nullptr) {
    auto song = std::make_unique<Song>();
    SongError err{};
    if (songParse(*song, text.data(), text.size(), err)) return song;
    if (fault) *fault = err; else ADD_FAILURE() << "line " << err.line << ": " << err.text;
    return nullptr;
}

// The whole song in stereo, at once or `block` frames at a time through a started `s`; a marker catches overruns.
Pcm Render(const Song& song, int32_t block = 0, Synth* s = nullptr) {
    Pcm out(2 * (size_t)songFrames(song) + 2 * (size_t)std::max(block, 1), 123.0f);
    int64_t n = block ? 0 : synthRenderAll(song, out.data());
    for (int32_t got = 1; block && got > 0; n += got) got = synthRender(*s, out.data() + 2 * n, block);
    EXPECT_EQ(n, songFrames(song));
    EXPECT_EQ(out[(size_t)n * 2], 123.0f) << "wrote past the song's end";
    out.resize((size_t)n * 2);
    return out;
}
Pcm RenderText(const std::string& text) { auto song = Parse(text); return song ? Render(*song) : Pcm{}; }

// One instrument "i" playing one row; `top` goes first. At 120 bpm and 4 steps a beat a step is 5512.5 frames.
std::string RowSong(const std::string& instrument, const std::string& row, const std::string& top = "tail 1\n") {
    std::string steps = std::to_string(std::count(row.begin(), row.end(), ' ') + 1);
    return top + "instrument i\n" + instrument + "end\npattern p " + steps + "\n i " + row + "\nend\nsection s p\narrange s\n";
}
Pcm OneRow(const std::string& i, const std::string& row, const std::string& top = "tail 1\n") { return RenderText(RowSong(i, row, top)); }
const std::string kSine = " osc sine\n env 1 100 1 10\n", kHalf = kSine + " volume 0.5\n";
// A kick drum on every beat at 120 bpm (one every 500 ms), eight of them: 4 s and a half-second tail.
const std::string kKicks = "tempo 120\nsteps 1\ntail 0.5\ninstrument kick\n drum kick\n volume 1\nend\npattern p 8\n kick x x x x x x x x\nend\n"
                           "section s p\narrange s\n";

// RMS of frames [from, to) of one channel (-1: both); the highest sample (sign -1: the lowest), not-a-number far too loud.
double Rms(const Pcm& s, size_t from, size_t to, int channel = -1) {
    double sum = 0, n = 0;
    for (size_t i = 2 * from; i < 2 * to && i < s.size(); ++i) sum += channel < 0 || channel == (int)(i % 2) ? (++n, (double)s[i] * s[i]) : 0;
    return n ? std::sqrt(sum / n) : 0;
}
double Peak(const Pcm& s, int sign = 1) {
    return std::accumulate(s.begin(), s.end(), 0.0, [&](double p, float x) { return std::isfinite(x) ? std::max(p, (double)x * sign) : 99; });
}
double FirstSound(const Pcm& s) { return (double)((std::find_if(s.begin(), s.end(), [](float x) { return x != 0; }) - s.begin()) / 2); }
double LastSound(const Pcm& s) { return (double)((std::find_if(s.rbegin(), s.rend(), [](float x) { return x != 0; }).base() - s.begin() - 1) / 2); }
// Upward zero crossings of the left channel over frames [from, to): the pitch.
int Crossings(const Pcm& s, size_t from, size_t to) {
    int n = 0;
    for (size_t f = from + 1; f < to; ++f) n += s[2 * f - 2] < 0 && s[2 * f] >= 0;
    return n;
}

TEST(Song, AFullSongReadsIntoTheRecordAndWhatIsLeftOutTakesItsDefault) {
    auto s = Parse("# a comment line\ntempo 90.5        # beats per minute\nsteps 2\ntail 0.25\nvolume 0.8\ndelay 1.5 0.5\nreverb 0.3 0.7\n\n"
                   "instrument bass\n  osc saw\n  osc square -12.5 0.4\n  filter highpass 150 0.25\n  sweep -100 50\n  env 3 120 0.5 40\n"
                   "  tune -12\n  volume 0.9\n  pan -0.5\n  delay 0.2\n  reverb 0.1\nend\ninstrument snare\n  drum snare\n  decay 150\nend\n\n"
                   "pattern a 4\n  bass  C4 . | - Bb3\n  snare x  o | .  x\n  bass  c#2 - | . A4\nend\npattern b 2\n  snare . x\nend\n"
                   "section one a\nsection two b a\narrange one two*3\narrange one\n");
    ASSERT_TRUE(s);
    const SongInstrument &b = s->instruments[0], &sn = s->instruments[1];
    const SongPattern& a = s->patterns[0];
    const SongSection& two = s->sections[1];
    EXPECT_EQ((Pcm{s->tempo, s->delayFeedback, s->reverbDamp, b.oscs[1].detune, b.oscs[1].level, b.resonance, b.sweepMs, b.sustain, b.pan}),
              (Pcm{90.5f, 0.5f, 0.7f, -12.5f, 0.4f, 0.25f, 50, 0.5f, -0.5f}));
    // A section is as long as the longest of its patterns; two arrange lines add up, "*3" repeats.
    EXPECT_EQ((Ints{s->stepsPerBeat, s->instrumentCount, b.oscCount, b.oscs[0].wave, b.oscs[1].wave, b.drum, b.filter, sn.drum,
                    sn.oscCount, sn.filter, s->patternCount, a.steps, a.rowCount, a.rows[0].instrument, a.rows[1].instrument,
                    a.rows[2].instrument, s->sectionCount, s->sections[0].steps, two.steps, two.layerCount, two.layers[0], two.layers[1],
                    s->arrangeCount, s->totalSteps, s->arrange[0], s->arrange[1], s->arrange[3], s->arrange[4]}),
              (Ints{2, 2, 2, Wave_saw, Wave_square, -1, Filter_highpass, Drum_snare, 0, -1, 2, 4, 3, 0, 1, 0, 2, 4, 4, 2, 1, 0, 5, 20, 0, 1, 1, 0}));
    // "|" only groups; C4 = 60, Bb3 = 58, C#2 = 37, A4 = 69; x full, o half (note × 1000 + velocity).
    Ints cells;
    auto cell = [&](int r) { return s->cells[a.rows[r / 4].firstCell + r % 4]; };
    for (int r = 0; r < 12; ++r) cells.push_back(cell(r).note * 1000 + cell(r).velocity);
    const int H = SongHold * 1000 + 255, R = SongRelease * 1000 + 255;
    EXPECT_EQ(cells, (Ints{60255, H, R, 58255, 60255, 60128, H, 60255, 37255, R, H, 69255}));
    // Left out: 120 bpm, 4 steps a beat (a step is 125 ms = 5512.5 frames), a second's tail, no filter, half volume, centred.
    s = Parse("instrument i\n osc sine\nend\npattern p 16\n i G9 . . . . . . . . . . . . . . .\nend\nsection s p\narrange s*2\n");
    ASSERT_TRUE(s);
    EXPECT_EQ((Pcm{s->tempo, (float)s->stepsPerBeat, s->tail, (float)s->instruments[0].filter, s->instruments[0].volume,
                   s->instruments[0].pan, (float)s->cells[0].note, (float)songStepFrame(*s, 1), (float)songStepFrame(*s, 2),
                   (float)songStepFrame(*s, 32), (float)songFrames(*s)}),
              (Pcm{120, 4, 1, -1, 0.5f, 0, 127, 5513, 11025, 176400, 176400 + 44100}));
}

// Guards the song reader's refusals, and its fixed tables: what would fill one past its end is refused.
TEST(Song, FaultsNameTheirLineInOneLine) {
    const std::string head = "instrument i\n osc saw\nend\n", p1 = head + "pattern p 1\nend\n", ps = p1 + "section s p\n", j = "instrument j\n";
    const std::string p2 = head + "pattern p 2\n i ";
    std::string many, rows = head + "pattern p 1\n", cells = head, row = " i", block;
    for (int i = 0; i <= SongMaxInstruments; ++i) many += "instrument i" + std::to_string(i) + "\n osc saw\nend\n";
    for (int i = 0; i <= SongMaxRows; ++i) rows += " i x\n";
    for (int i = 0; i < 256; ++i) row += " .";
    for (int r = 0; r < 16; ++r) block += row + "\n";
    // 16 rows of 256 steps fill 4096 cells: the 17th such pattern is one too many.
    for (int p = 0; p < 17; ++p) cells += "pattern p" + std::to_string(p) + " 256\n" + block + "end\n";
    struct Case {
        std::string text;
        int line;
        std::string says;
    };
    std::vector<Case> cases = {
        {"tempo fast\n", 1, "tempo (beats per minute) wants a number from 20 to 400, not \"fast\""}, {"tempo nan\n", 1, "tempo"},
        {"steps 2.5\n", 1, "steps (per beat) wants a whole number"}, {"delay 3\n", 1, "delay wants 2 values, not 1"},
        {"delay 3 1.5\n", 1, "delay feedback"}, {"bpm 120\n", 1, "unknown word \"bpm\""}, {"instrument a*b\n", 1, "is not a name"},
        {head + "instrument i\n", 4, "is defined twice"}, {j + " osc triangle\nend\n", 2, "unknown wave \"triangle\""},
        {j + " osc saw 1 2 3\nend\n", 2, "osc wants 1 to 3 values, not 4"}, {j + " osc saw\n osc saw\n osc saw\n osc saw\nend\n", 5, "at most 3 osc"},
        {j + " drum tom\nend\n", 2, "unknown drum \"tom\""}, {j + " drum kick\n osc saw\nend\n", 3, "a drum instrument has no osc lines"},
        {j + " filter notch 100\nend\n", 2, "unknown filter \"notch\""}, {j + " filter lowpass 5\nend\n", 2, "filter cutoff (Hz)"},
        {j + " env 1 2 3\nend\n", 2, "env wants 4 to 4 values, not 3"}, {j + " wobble 2\nend\n", 2, "unknown instrument setting \"wobble\""},
        {"\n" + j + " osc saw\n", 2, "instrument \"j\" has no end line"}, {p2 + "C4 .\n", 4, "pattern \"p\" has no end line"},
        {j + " volume 1\nend\n", 1, "instrument \"j\" has neither an osc nor a drum line"}, {p2 + "C4 .\nend now\n", 6, "\"end\" stands alone"},
        {head + "pattern p 0\nend\n", 4, "pattern length (steps) wants a whole number"}, {p2 + "C4 . | .\nend\n", 5, "has 3 steps"},
        {head + "pattern p 4\n i C4 . .\nend\n", 5, "the row has 3 steps; pattern \"p\" has 4"}, {p2 + "C4 Q\nend\n", 5, "\"Q\" is not a step"},
        {head + "pattern p 2\n k C4 .\nend\n", 5, "unknown instrument \"k\""}, {p1 + "pattern p 1\nend\n", 6, "pattern \"p\" is defined twice"},
        {head + "section s nothing\n", 4, "unknown pattern \"nothing\""}, {p1 + "section s\n", 6, "section wants 2 to 9 values, not 1"},
        {p1 + "section s p p p p p p p p p\n", 6, "wants 2 to 9 values, not 10"}, {ps + "section s p\n", 7, "section \"s\" is defined twice"},
        {ps + "arrange t\n", 7, "unknown section \"t\""}, {ps + "arrange s*0\n", 7, "a repeat is a whole number"}, {"", 1, "no arrange line"},
        {ps + "arrange s*4000 s*97\n", 7, "more than 4096 section plays"}, {"tempo 100\n" + std::string(5000, ' ') + "\n", 2, "longer than 4096"},
        // 256 steps at 20 bpm, one a beat: 768 s; three steps of echo: 9 s.
        {"tempo 20\nsteps 1\n" + head + "pattern p 256\nend\nsection s p\n\narrange s\n\n", 10, "the song lasts 769.0 seconds; at most 600"},
        {"tempo 20\nsteps 1\ndelay 3 0.5\n" + ps + "arrange s\n", 3, "the delay is longer than 4 seconds"},
        {"tempo 100\r\ninstrument \xff\x01\n\0\0\0"s, 2, ""},  // nul bytes, CR line ends and high bytes: a verdict without harm
        {many, 3 * SongMaxInstruments + 1, "at most 32 instruments"}, {rows + "end\n", 5 + SongMaxRows, "more than 16 rows"},
        {cells, 3 + 16 * 18 + 2, "more than 65536 pattern steps"}};
    for (const char* bad : {"G#9", "H4", "C", "Cx4"})  // past MIDI's range or not a note at all
        cases.push_back({p2 + "A4 " + bad + "\nend\n", 5, "\""s + bad + "\" is not a step"});
    for (const Case& c : cases) {
        SongError f{};
        EXPECT_FALSE(Parse(c.text, &f)) << c.text;
        EXPECT_EQ(f.line, c.line) << c.text.substr(0, 200) << "\n-> " << f.text;
        EXPECT_NE(std::string(f.text).find(c.says), npos) << c.text.substr(0, 200) << "\n-> " << f.text;
        EXPECT_EQ(std::string(f.text).find('\n'), npos);
    }
    auto crlf = Parse("instrument i\r\n osc saw\r\nend\r\npattern p 1\r\n i x\r\nend\r\nsection s p\r\narrange s");
    EXPECT_EQ(crlf ? crlf->arrangeCount : 0, 1);
}

TEST(Synth, NotesStartOnTheirStepEndWhenReleasedAndPlayAtTheirLevelAndPan) {
    // The third step begins at frame 2 × 5512.5 = 11025: band-limited oscillators with a 0, drums and noise at once.
    for (auto [instrument, first] : {std::pair{kHalf, 11026}, {" osc saw\n", 11026}, {" osc square\n", 11026}, {" drum kick\n", 11025},
                                     {" drum snare\n", 11025}, {" drum hat\n", 11025}, {" osc noise\n", 11025}})
        ExpectAll({{instrument, FirstSound(OneRow(instrument, ". . x . .")), first, first}});
    // Rests are silence as long as their steps and the tail; "-" ends a note with its 10 ms release, as do a new
    // note on its row, the song's end (into the tail) and each section's start; sustain 0 ends it with its decay.
    Pcm rests = OneRow(kHalf, ". . . . - - . ."), held = OneRow(kSine, "A4 . . ."), cut = OneRow(kSine, "A4 - . .");
    Pcm sections = RenderText("instrument i\n" + kSine + "end\npattern long 4\n i A4 . . .\nend\npattern rest 4\n i . . . .\nend\n"
                              "section a long\nsection b rest\narrange a b\n");
    ExpectAll({{"rests' length", rests.size(), 2 * 88200, 2 * 88200}, {"rests' peak", std::max(Peak(rests), Peak(rests, -1)), 0, 0},
               {"held", Rms(held, 15000, 16000), 0.1, 1}, {"before the cut", Rms(cut, 5000, 5500), 0.1, 1}, {"after it", Rms(cut, 5958, 22050), 0, 0},
               {"one tone at a time, A5 at 880 Hz", Crossings(OneRow(kSine, "A4 . A5 ."), 12025, 22000), 197, 201},
               {"sustain 0", LastSound(OneRow(" osc sine\n env 1 50 0 500\n", "A4 . . .")), 0, 45 + 2205 + 5},
               {"into the tail", LastSound(OneRow(" osc sine\n env 1 100 1 200\n", "A4 . . .")), 22050 + 4410 + 1, 22050 + 8820 + 2},
               {"first section", Rms(sections, 20000, 22000), 0.1, 1}, {"second section", Rms(sections, 22050 + 500, 44100), 0, 0}});
    Pcm left = OneRow(kHalf + " pan -1\n", "A4 . . ."), right = OneRow(kHalf + " pan 1\n", "A4 . . ."), centre = OneRow(kHalf, "A4 . . .");
    double loud = Rms(OneRow(kSine + " volume 0.2\n", "x . . ."), 5000, 20000), mid = Rms(centre, 0, 20000, 0);
    // Constant power: a side carries as much as both sides of the centre. "o" is half a hit.
    ExpectAll({{"left", Rms(left, 0, 20000, 0), 0.1, 1}, {"right of left", Rms(left, 0, 20000, 1), 0, 0}, {"right", Rms(right, 0, 20000, 1), 0.1, 1},
               {"left of right", Rms(right, 0, 20000, 0), 0, 0}, {"centre", Rms(centre, 0, 20000, 1), mid, mid},
               {"a side", Rms(left, 0, 20000, 0) - std::sqrt(2.0) * mid, -1e-3, 1e-3},
               {"o", Rms(OneRow(kSine + " volume 0.2\n", "o . . ."), 5000, 20000) / loud, 128 / 255.0 - 0.005, 128 / 255.0 + 0.005}});
}

TEST(Synth, TheLimiterBendsWhatIsLoudAndTheReverbLeavesAStereoTailThatFades) {
    // Noise at four times full scale stays below it, a 0.8 sine is bent above the 0.6 knee, 0.5 passes untouched.
    for (auto [song, lo, hi, bent] : {std::tuple{RowSong(" osc noise\n volume 4\n", "x x x x"), 0.85, 0.9, true},
                                      {RowSong(kSine + " volume 0.8\n", "A4 . . ."), 0.77, 0.78, true},
                                      {RowSong(kHalf, "A4 . . ."), 0.49, 0.51, false}}) {
        auto parsed = Parse(song);
        auto s = std::make_unique<Synth>();
        synthStart(*s, *parsed);
        Pcm out = Render(*parsed, 4096, s.get());
        synthStop(*s);
        ExpectAll({{"highest", Peak(out), lo, hi}, {"lowest", Peak(out, -1), lo, hi}, {"bent", s->limited, bent, bent ? 1e12 : 0.0},
                   {"before", s->peak, bent ? hi : lo, bent ? 1e9 : hi}});
    }
    // The reverb's tail fades, the right channel's starting 23 frames after the left's: the wet part alone shows it.
    Pcm wet = OneRow(" osc saw\n env 1 50 0 5\n reverb 1\n", "C4", "tail 3\nreverb 0.8 0.3\n"), tail[2];
    Pcm dry = OneRow(" osc saw\n env 1 50 0 5\n", "C4", "tail 3\nreverb 0.8 0.3\n");
    for (size_t i = 0; i < wet.size(); ++i) tail[i % 2].push_back(wet[i] - dry[i]), tail[i % 2].push_back(0);
    double early = Rms(wet, 5000, 15000);
    ExpectAll({{"dry", Rms(dry, 3000, dry.size() / 2), 0, 0}, {"early", early, 1e-3, 1}, {"late", Rms(wet, 90000, 110000) / early, 1e-12, 0.5},
               {"right behind", FirstSound(tail[1]) - FirstSound(tail[0]), 23, 23}});
}

void Put(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += (char)(v >> 8 * i);
}
// A WAV file by hand: format chunk fields, then `data`, after a chunk readers must skip (odd size, pad byte).
std::string Wav(uint32_t format, uint32_t channels, uint32_t rate, uint32_t bits, const std::string& data, uint32_t align = 0,
                int claim = -1, bool ext = false) {
    std::string fmt, s = "RIFF\0\0\0\0WAVELIST\3\0\0\0abc\0fmt "s;
    align = align ? align : channels * bits / 8;
    for (auto [v, n] : {std::pair{ext ? 0xFFFEu : format, 2}, {channels, 2}, {rate, 4}, {rate * align, 4}, {align, 2}, {bits, 2}}) Put(fmt, v, n);
    if (ext) Put(fmt, 22, 2), Put(fmt, bits, 2), Put(fmt, 3, 4), Put(fmt, format, 2), fmt += "\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71"s;  // a GUID
    Put(s, (uint32_t)fmt.size(), 4);
    s += fmt + "data";
    Put(s, claim >= 0 ? (uint32_t)claim : (uint32_t)data.size(), 4);
    return s + data;
}

// A file read from exactly its bytes (no slack after them), by the WAV reader or by the format's own.
struct Clip : AudioClip {
    bool ok;
    std::string why;
    Clip(const std::string& file, double maxSeconds = -1, bool anyFormat = false) : AudioClip{} {
        std::vector<uint8_t> exact(file.begin(), file.end());
        ok = anyFormat ? audioRead(file, maxSeconds, *this, why) : wavRead(exact.data(), exact.size(), maxSeconds, *this, why);
    }
    ~Clip() { audioFree(*this); }
    Pcm pcm() const { return Pcm(samples, samples + frames * channels); }
    Ints shape() const { return {ok, rate, channels, frames}; }
};

// Guards reads past the file: truncated and lying files are read as far as they go.
TEST(AudioFiles, EveryWavEncodingReadsAsFarAsTheFileGoesAndOggVorbisEncodesTheSameInAnyBlockSize) {
    // -1, -0.5, 0, 0.5 in each encoding, as two stereo frames.
    std::string u8 = "\x00\x40\x80\xC0"s, s16, s24, s32, f32, f64;
    for (int v : {-32768, -16384, 0, 16384}) Put(s16, (uint32_t)v, 2), Put(s24, (uint32_t)v << 8, 3), Put(s32, (uint32_t)v << 16, 4);
    for (double d : {-1.0, -0.5, 0.0, 0.5}) f32 += std::string((const char*)&(const float&)(float)d, 4), f64 += std::string((const char*)&d, 8);
    for (auto& file : {Wav(1, 2, 8000, 8, u8), Wav(1, 2, 8000, 16, s16), Wav(1, 2, 8000, 24, s24), Wav(1, 2, 8000, 32, s32), Wav(3, 2, 8000, 32, f32),
                       Wav(3, 2, 8000, 64, f64), Wav(1, 2, 8000, 16, s16, 0, -1, true), Wav(3, 2, 8000, 32, f32, 0, -1, true)}) {
        Clip c(file);
        EXPECT_EQ(c.shape(), (Ints{1, 8000, 2, 2})) << c.why;
        EXPECT_EQ(c.pcm(), (Pcm{-1, -0.5f, 0, 0.5f})) << "format " << (int)file[20] << ", " << (int)file[34] << " bits";
    }
    // Our writer's file: the plain 44-byte header, out of range clipped, NaN silent.
    Pcm in = {0, 0.25f, -0.25f, 1, -1, 2, -2, 0.5f, NAN, 0}, want = {0, 0.25f, -0.25f, 1, -1, 1, -1, 0.5f, 0, 0};
    std::string file = wavHeader(5, 2, 44100), header = "RIFF";
    for (auto [v, n] : {std::pair{36u + 20u, 4}, {0x45564157u, 4}, {0x20746d66u, 4}, {16u, 4}, {1u, 2}, {2u, 2}, {44100u, 4}, {176400u, 4}, {4u, 2},
                        {16u, 2}, {0x61746164u, 4}, {20u, 4}})
        Put(header, v, n);
    EXPECT_TRUE(file == header);
    wavAppend(file, in.data(), (int64_t)in.size());
    Clip c(file);
    EXPECT_EQ(c.shape(), (Ints{1, 44100, 2, 5})) << c.why;
    for (size_t i = 0; i < want.size() && c.ok; ++i) EXPECT_NEAR(c.samples[i], want[i], 1.0 / 32767) << i;
    // A data chunk claiming a million bytes holds 100 samples and half of one; 1 ms is 22.05 frames, rounded up.
    std::string ramp;
    for (int i = 0; i < 100; ++i) Put(ramp, (uint32_t)(i * 100), 2);
    Clip lying(Wav(1, 1, 22050, 16, ramp + "\x01", 0, 1000000)), none(Wav(1, 2, 44100, 16, ""));
    EXPECT_EQ(lying.shape(), (Ints{1, 22050, 1, 100})) << lying.why;
    EXPECT_NEAR(lying.ok ? lying.samples[99] : 0, 9900 / 32768.0, 1e-6);
    EXPECT_TRUE(Clip(Wav(1, 1, 22050, 16, ramp), 0.001).frames == 23 && none.ok && none.frames == 0 && none.samples == nullptr);
    // Every cut of a good file is read or refused, never read past.
    std::string whole = Wav(1, 2, 44100, 24, std::string(60, '\x11'));
    for (size_t n = 0; n <= whole.size(); ++n) EXPECT_LE(Clip(whole.substr(0, n)).frames * 6, (int64_t)n);
    // Guards libvorbis's bytes depending on how the samples arrive: the same music must give the same file.
    Pcm pcm(2 * 44100);  // one second of a 440 Hz tone, left only, then right only
    for (size_t f = 0; f < 44100; ++f) pcm[2 * f + (f < 22050 ? 0 : 1)] = 0.5f * std::sin(2 * M_PI * 440 * f / 44100.0);
    auto encode = [&](int32_t block) {
        VorbisWriter w{};
        vorbisWriterStart(w, 2, 44100);
        for (size_t at = 0; at < 44100; at += (size_t)block)
            vorbisWriterPush(w, pcm.data() + 2 * at, (int32_t)std::min<size_t>((size_t)block, 44100 - at));
        vorbisWriterFinish(w);
        return w.out;
    };
    std::string a = encode(4096), scribbled = a;
    EXPECT_TRUE(a == encode(4096) && a == encode(1000)) << "the encoding changed";
    Clip decoded(a, -1, true);
    EXPECT_EQ(decoded.shape(), (Ints{1, 44100, 2, 44100})) << decoded.why;  // no samples added or lost at either end
    EXPECT_EQ(Clip(a, 0.25, true).frames, 11025);
    // Not Vorbis, cut or with bytes overwritten: refused or read in part, never harmed.
    for (size_t i = a.size() / 3; i < a.size() / 3 + 200; ++i) scribbled[i] = (char)(i * 7);
    for (const std::string& bad : {"OggS and nothing of use"s, a.substr(0, a.size() / 2), scribbled}) EXPECT_LE(Clip(bad, -1, true).frames, 44100);
}

Pcm Tone(double hz, double amplitude, double seconds, int32_t rate = 44100, int32_t channels = 1) {
    Pcm s((size_t)(seconds * rate) * (size_t)channels);
    for (size_t i = 0; i < s.size(); ++i) s[i] = (float)(amplitude * std::sin(2 * M_PI * hz * (double)(i / (size_t)channels) / rate));
    return s;
}
std::unique_ptr<LoudnessTable> TableOf(const Pcm& samples, int32_t channels, int32_t rate) {
    auto t = std::make_unique<LoudnessTable>();
    loudnessAnalyse(AudioClip{rate, channels, (int64_t)(samples.size() / (size_t)channels), (float*)samples.data()}, *t, nullptr);
    return t;
}

TEST(Loudness, BandsScaleByTheirUsualLevelAndThePictureShowsThem) {
    // A quiet tone with a burst 20 times louder: for 50 ms it cannot go higher, for 300 ms (3 %, above the 99th
    // percentile) it sets the scale. Long music is cut at 259.4 s; -70 dB still reads, far below -80 dB is silence.
    Pcm s = Tone(1000, 0.02, 10), longer = s;
    for (size_t f = 220500; f < 222705; ++f) s[f] *= 20;
    for (size_t f = 220500; f < 233730; ++f) longer[f] *= 20;
    auto t = TableOf(s, 1, 44100), set = TableOf(longer, 1, 44100), longOne = TableOf(Tone(440, 0.5, 270, 4000), 1, 4000);
    auto faint = TableOf(Tone(1000, 5e-4, 2), 1, 44100);
    ExpectAll({{"tone", t->values[6][100], 255, 255}, {"burst", t->values[6][222], 255, 255}, {"reference", t->reference[6], 0.0131, 0.0151},
               {"under a longer burst", set->values[6][100], 10, 16}, {"faint", faint->values[6][44], 255, 255},
               {"long", longOne->used, LoudnessValues, LoudnessValues}, {"long's end", longOne->values[5][LoudnessValues - 1], 255, 255},
               {"nothing", TableOf({}, 2, 44100)->used, 0, 0}});
    EXPECT_EQ(loudnessBytes(*TableOf(Tone(1000, 3e-5, 2), 1, 44100)), std::string(LoudnessTableBytes, '\0'));
    // Guards the picture's writes past its pixel buffer: short, empty and long tables all fit.
    int32_t w = 0, h = 0;
    // Loud in the highest band only: its strip at the top (red) filled, band 0's at the bottom empty; 8 pixels a value.
    std::string px = loudnessPixels(*TableOf(Tone(15000, 0.5, 1), 1, 44100), w, h);
    EXPECT_EQ((Ints{w, h, (uint8_t)px[(10 * w + 100) * 3], (uint8_t)px[((h - 10) * w + 100) * 3]}), (Ints{45 * 8, 12 * 52, 255, 16}));
    for (int32_t used : {0, LoudnessValues}) {
        t = std::make_unique<LoudnessTable>();
        t->used = used;
        memset(t->values, 255, sizeof t->values);
        std::string pixels = loudnessPixels(*t, w, h), png = loudnessPng(*t);
        auto at = [&](int i) { return (int64_t)(uint8_t)png[i]; };
        EXPECT_EQ((Ints{w, h, (int64_t)pixels.size(), at(18) << 8 | at(19), at(22) << 8 | at(23)}),
                  (Ints{used ? used : 8, 12 * 52, (used ? used : 8) * 12 * 52 * 3, used ? used : 8, 12 * 52}));
    }
}

TEST(MusicTool, RendersRepeatableFilesAndTheirTableAndRefusesBadInputWithOneLine) {
    std::string dir = MakeTempDir("synth"), velmar = ShowDir() + "/velmar";
    auto at = [&](const std::string& name) { return dir + "/" + name; };
    auto run = [&](std::vector<std::string> args) { return args.insert(args.begin(), velmar), RunProgram(args); };
    WriteFile(at("kicks.song"), kKicks);
    WriteFile(at("bad.song"), "tempo 120\ninstrument i\n osc saw\nend\npattern p 4\n i C4 . .\nend\n");
    WriteFile(at("old.rms"), "old");
    RunResult a = run({"music", "render", at("kicks.song"), at("a.ogg")}), b = run({"music", "render", at("kicks.song"), at("b.ogg")});
    RunResult w = run({"music", "render", at("kicks.song"), at("c.WAV")});
    ASSERT_EQ(a.code + b.code + w.code, 0) << a.err << b.err << w.err;
    EXPECT_TRUE(a.out.find("\"format\":\"ogg\",") != npos && a.out.find("\"frames\":198450") != npos) << a.out;
    EXPECT_NE(w.out.find("\"format\":\"wav\""), npos) << w.out;
    EXPECT_TRUE(ReadFileText(at("a.ogg")) == ReadFileText(at("b.ogg"))) << "two renders differ";
    Clip ogg(ReadFileText(at("a.ogg")), -1, true), wav(ReadFileText(at("c.WAV")), -1, true);
    EXPECT_EQ(wav.shape(), (Ints{1, 44100, 2, 198450}));
    // The Ogg Vorbis file's table and picture are the decoded music's; each band's mean is over the music's values.
    RunResult r = run({"loudness", at("a.ogg"), at("music.rms"), "--plot", at("music.png")});
    auto table = TableOf(ogg.pcm(), 2, 44100);
    EXPECT_TRUE(r.code == 0 && r.err.empty() && r.out.find("\"rate\":44100,\"channels\":2") != npos) << r.out << r.err;
    EXPECT_NE(r.out.find("\"values\":199"), npos) << r.out;
    EXPECT_TRUE(ReadFileText(at("music.rms")) == loudnessBytes(*table) && ReadFileText(at("music.png")) == loudnessPng(*table));
    size_t mean = r.out.find("\"mean\":", r.out.find("\"mean\":") + 1);  // band 1, the kick's body
    EXPECT_NEAR(std::stod(r.out.substr(mean + 7)), std::accumulate(table->values[1], table->values[1] + 199, 0.0) / 199, 0.1) << r.out;
    // Bad input gets one line (a song's fault with its file and line), exit 2 and no output.
    for (auto& [args, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"music", "render", at("bad.song"), at("o.ogg")}, "velmar music: " + at("bad.song") + ":6: the row has 3 steps; pattern \"p\" has 4\n"},
             {{"music", "render", at("missing.song"), at("o.ogg")}, "cannot read"}, {{"music", "play", at("bad.song"), at("o.ogg")}, "wants: render"},
             {{"music", "render", at("kicks.song"), at("nofolder/out.ogg")}, "cannot write"},
             {{"loudness", at("bad.song"), at("old.rms")}, "not an Ogg Vorbis or WAV file"},
             {{"loudness", at("a.ogg"), at("out.rms"), "--plot"}, "--plot needs a value"}}) {
        RunResult bad = run(args);
        EXPECT_EQ((Ints{bad.code, std::count(bad.err.begin(), bad.err.end(), '\n'), bad.err.find(says) != npos, (int64_t)bad.out.size()}),
                  (Ints{2, 1, 1, 0})) << bad.err;
    }
    // No temporary is left and an older output stays as it was; help is not a fault.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 8);
    EXPECT_EQ(ReadFileText(at("old.rms")), "old");
    EXPECT_EQ(run({"music", "--help"}).code + run({"loudness", "--help"}).code, 0);
    RemoveTree(dir);
}

}  // namespace
