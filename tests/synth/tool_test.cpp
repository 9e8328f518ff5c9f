// velmar music render and velmar loudness, run as an author runs them.
#include <gtest/gtest.h>
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "support/support.h"
#include "synth_helpers.h"

namespace {

struct TempDir {
    std::string dir = MakeTempDir("synth");
    ~TempDir() { RemoveTree(dir); }
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = d ? readdir(d) : nullptr)
            if (e->d_name[0] != '.') out.push_back(e->d_name);
        if (d) closedir(d);
        std::sort(out.begin(), out.end());
        return out;
    }
};

std::vector<float> Decode(const std::string& path, int32_t* rate = nullptr) {
    AudioClip clip{};
    std::string why;
    EXPECT_TRUE(audioRead(ReadFileText(path), -1, clip, why)) << why;
    std::vector<float> s(clip.samples, clip.samples + clip.frames * clip.channels);
    EXPECT_EQ(clip.channels, 2);
    if (rate) *rate = clip.rate;
    audioFree(clip);
    return s;
}

TEST(MusicTool, RenderingTwiceGivesTheSameFileQuicklyAndItSoundsRight) {
    TempDir t;
    std::string song = t / "kicks.song";
    WriteFile(song, KickSong(8));  // 4 s and a half-second tail
    auto start = std::chrono::steady_clock::now();
    RunResult a = RunProgram({Velmar(), "music", "render", song, t / "a.ogg"});
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(a.code, 0) << a.err;
    EXPECT_NE(a.out.find("\"format\":\"ogg\""), std::string::npos) << a.out;
    EXPECT_NE(a.out.find("\"frames\":198450"), std::string::npos) << a.out;
    // Well under the music's own 4.5 s, even on a busy machine (the benchmark has the figures).
    EXPECT_LT(took, 2.0);
    RunResult b = RunProgram({Velmar(), "music", "render", song, t / "b.ogg"});
    ASSERT_EQ(b.code, 0) << b.err;
    std::string fa = ReadFileText(t / "a.ogg"), fb = ReadFileText(t / "b.ogg");
    EXPECT_GT(fa.size(), 10000u);
    EXPECT_TRUE(fa == fb) << "two renders differ";
    EXPECT_EQ(t.files(), (std::vector<std::string>{"a.ogg", "b.ogg", "kicks.song"}));  // no temporary left

    int32_t rate = 0;
    std::vector<float> pcm = Decode(t / "a.ogg", &rate);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(pcm.size(), 2u * 198450u);
    EXPECT_GT(Rms(pcm, 0, pcm.size() / 2), 0.05);  // not silent
    size_t clipped = 0;
    for (float x : pcm) clipped += std::fabs(x) >= 0.999f;
    EXPECT_EQ(clipped, 0u);  // not clipped
    EXPECT_LT(Peak(pcm), 0.99f);

    // The example song renders too, as Ogg Vorbis and as WAV with the same music.
    std::string demo = std::string(VELMAR_TEST_SOURCE_DIR) + "/tools/synth/examples/demo.song";
    RunResult o = RunProgram({Velmar(), "music", "render", demo, t / "demo.ogg"});
    RunResult w = RunProgram({Velmar(), "music", "render", demo, t / "demo.WAV"});
    ASSERT_EQ(o.code, 0) << o.err;
    ASSERT_EQ(w.code, 0) << w.err;
    EXPECT_NE(w.out.find("\"format\":\"wav\""), std::string::npos);
    std::vector<float> fromOgg = Decode(t / "demo.ogg"), fromWav = Decode(t / "demo.WAV");
    ASSERT_EQ(fromOgg.size(), fromWav.size());
    EXPECT_NEAR(Rms(fromOgg, 0, fromOgg.size() / 2), Rms(fromWav, 0, fromWav.size() / 2), 0.01);
    auto song2 = ParseSong(ReadFileText(demo));
    ASSERT_TRUE(song2);
    std::vector<float> direct = Render(*song2);
    ASSERT_EQ(direct.size(), fromWav.size());
    for (size_t i = 0; i < direct.size(); i += 997) ASSERT_NEAR(direct[i], fromWav[i], 1.0 / 32767 + 1e-6) << i;
}

TEST(MusicTool, TheKickSongsTableHasAPeakAtEachKick) {
    TempDir t;
    WriteFile(t / "kicks.song", KickSong(8));
    ASSERT_EQ(RunProgram({Velmar(), "music", "render", t / "kicks.song", t / "kicks.ogg"}).code, 0);
    RunResult r = RunProgram({Velmar(), "loudness", t / "kicks.ogg", t / "music.rms", "--plot", t / "music.png"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"rate\":44100,\"channels\":2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"values\":199"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");  // short music: no progress lines
    std::string table = ReadFileText(t / "music.rms");
    ASSERT_EQ(table.size(), 137304u);
    for (int band = 1; band <= 3; ++band)
        for (int i = 0; i < 8; ++i) {
            double at = i * 22.05;
            int peak = std::max(0, (int)at - 3);
            for (int k = peak; k <= (int)at + 10; ++k)
                if ((uint8_t)table[band * 11442 + k] > (uint8_t)table[band * 11442 + peak]) peak = k;
            EXPECT_LE(std::fabs(peak - at), 1.0) << "band " << band << " kick " << i;
            EXPECT_LT((uint8_t)table[band * 11442 + (int)(at + 11)], 40) << "band " << band << " kick " << i;
        }
    for (int k = 199; k < 11442; ++k) ASSERT_EQ(table[11442 + k], 0);  // padded with silence
    std::string png = ReadFileText(t / "music.png");
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST(MusicTool, LongMusicReportsProgress) {
    TempDir t;
    // 40 s of a tone as a WAV file of our own writing.
    std::vector<float> s(2 * 44100 * 40);
    for (size_t f = 0; f < s.size() / 2; ++f) s[2 * f] = s[2 * f + 1] = 0.3f * (float)std::sin(f * 0.05);
    std::string wav = wavHeader(44100 * 40, 2, 44100);
    wavAppend(wav, s.data(), (int64_t)s.size());
    WriteFile(t / "long.wav", wav);
    RunResult r = RunProgram({Velmar(), "loudness", t / "long.wav", t / "long.rms"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("velmar loudness: 50%\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("velmar loudness: 100%\n"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileText(t / "long.rms").size(), 137304u);
}

TEST(MusicTool, BadInputGetsOneLineExit2AndNoOutput) {
    TempDir t;
    WriteFile(t / "bad.song", "tempo 120\ninstrument i\n osc saw\nend\npattern p 4\n i C4 . .\nend\n");
    WriteFile(t / "good.song", KickSong(2));
    WriteFile(t / "text.txt", "hello");
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"music", "render", t / "bad.song", t / "out.ogg"}, "velmar music: "},
        {{"music", "render", t / "missing.song", t / "out.ogg"}, "cannot read"},
        {{"music", "render", t / "good.song"}, "render wants a song file and an output file"},
        {{"music", "play", t / "good.song", t / "out.ogg"}, "wants: render SONG OUT.ogg"},
        {{"music"}, "wants: render SONG OUT.ogg"},
        {{"music", "render", t / "good.song", t / "out.ogg", "--loud"}, "unknown option --loud"},
        {{"music", "render", t / "good.song", t / "nofolder/out.ogg"}, "cannot write"},
        {{"loudness", t / "missing.ogg", t / "out.rms"}, "cannot read"},
        {{"loudness", t / "text.txt", t / "out.rms"}, "not an Ogg Vorbis or WAV file"},
        {{"loudness", t / "good.song"}, "wants an audio file and an output file"},
        {{"loudness", t / "text.txt", t / "out.rms", "--plot"}, "--plot needs a value"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {Velmar()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        RunResult r = RunProgram(argv);
        EXPECT_EQ(r.code, 2) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // The song's fault names the file and the line.
    RunResult r = RunProgram({Velmar(), "music", "render", t / "bad.song", t / "out.ogg"});
    EXPECT_EQ(r.err, "velmar music: " + (t / "bad.song") + ":6: the row has 3 steps; pattern \"p\" has 4\n");
    EXPECT_EQ(t.files(), (std::vector<std::string>{"bad.song", "good.song", "text.txt"}));
    // A failed run leaves an older output as it was.
    WriteFile(t / "keep.rms", "old");
    EXPECT_EQ(RunProgram({Velmar(), "loudness", t / "text.txt", t / "keep.rms"}).code, 2);
    EXPECT_EQ(ReadFileText(t / "keep.rms"), "old");
    // Help is not a fault.
    EXPECT_EQ(RunProgram({Velmar(), "music", "--help"}).code, 0);
    EXPECT_EQ(RunProgram({Velmar(), "loudness", "--help"}).code, 0);
}

}  // namespace
