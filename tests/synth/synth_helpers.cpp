#include "synth_helpers.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/support.h"

std::unique_ptr<Song> ParseSong(const std::string& text) {
    auto song = std::make_unique<Song>();
    SongError err{};
    if (!songParse(*song, text.data(), text.size(), err)) {
        ADD_FAILURE() << "line " << err.line << ": " << err.text;
        return nullptr;
    }
    return song;
}

SongFault SongFaultOf(const std::string& text) {
    auto song = std::make_unique<Song>();
    SongError err{};
    if (songParse(*song, text.data(), text.size(), err)) return SongFault{0, ""};
    return SongFault{err.line, err.text};
}

std::vector<float> Render(const Song& song) {
    std::vector<float> out((size_t)songFrames(song) * 2 + 2, 123.0f);  // one frame past the end marks overruns
    int64_t n = synthRenderAll(song, out.data());
    EXPECT_EQ(n, songFrames(song));
    EXPECT_EQ(out[(size_t)n * 2], 123.0f) << "wrote past the song's end";
    out.resize((size_t)n * 2);
    return out;
}

std::vector<float> RenderText(const std::string& text) {
    auto song = ParseSong(text);
    return song ? Render(*song) : std::vector<float>{};
}

AudioClip ClipOf(std::vector<float>& samples, int32_t channels, int32_t rate) {
    return AudioClip{rate, channels, (int64_t)(samples.size() / (size_t)channels), samples.data()};
}

std::unique_ptr<LoudnessTable> TableOf(std::vector<float>& samples, int32_t channels, int32_t rate) {
    auto t = std::make_unique<LoudnessTable>();
    loudnessAnalyse(ClipOf(samples, channels, rate), *t, nullptr);
    return t;
}

std::string KickSong(int kicks) {
    std::string row;
    for (int i = 0; i < kicks; ++i) row += " x";
    return "tempo 120\nsteps 1\ntail 0.5\n"
           "instrument kick\n  drum kick\n  volume 1\nend\n"
           "pattern p " + std::to_string(kicks) + "\n  kick" + row + "\nend\n"
           "section s p\narrange s\n";
}

double Rms(const std::vector<float>& s, size_t from, size_t to, int channel) {
    double sum = 0;
    size_t n = 0;
    for (size_t f = from; f < to && 2 * f + 1 < s.size(); ++f)
        for (int c = 0; c < 2; ++c)
            if (channel < 0 || channel == c) sum += (double)s[2 * f + c] * s[2 * f + c], ++n;
    return n ? std::sqrt(sum / n) : 0;
}

float Peak(const std::vector<float>& s) {
    float p = 0;
    for (float x : s) p = std::max(p, std::fabs(x));
    return p;
}

std::string Velmar() { return ShowDir() + "/velmar"; }
