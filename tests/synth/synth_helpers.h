// synth_helpers.h - shared pieces of the synthesiser and loudness tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/synth/audio.h"
#include "tools/synth/loudness.h"
#include "tools/synth/song.h"
#include "tools/synth/synth.h"

// A song read from text; fails the test (and returns null) on a fault.
std::unique_ptr<Song> ParseSong(const std::string& text);

// The fault a text gives ("" when it reads).
struct SongFault {
    int line;
    std::string text;
};
SongFault SongFaultOf(const std::string& text);

// The whole song rendered: interleaved stereo.
std::vector<float> Render(const Song& song);
std::vector<float> RenderText(const std::string& text);

// A clip over `samples` (not owned: do not audioFree it).
AudioClip ClipOf(std::vector<float>& samples, int32_t channels, int32_t rate);

// The loudness table of interleaved samples.
std::unique_ptr<LoudnessTable> TableOf(std::vector<float>& samples, int32_t channels, int32_t rate);

// A kick drum on every beat at 120 bpm (one every 500 ms), `kicks` of them.
std::string KickSong(int kicks);

// RMS and peak of samples [from, to) of one channel (-1: both).
double Rms(const std::vector<float>& s, size_t from, size_t to, int channel = -1);
float Peak(const std::vector<float>& s);

std::string Velmar();  // the tool in the show folder
