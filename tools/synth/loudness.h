// loudness.h - the music loudness table ("2ddata/music.rms") and its picture.
//
// The file is 12 bands of 11442 unsigned bytes, band 0 first, no header.
// Value k of a band belongs to k × 10000 ÷ 441 ms of the music (44.1 values
// per second); 0 is silent, 255 loudest. Bands run from low to high
// frequency, four per decade from 20 Hz to 20 kHz.
//
// Each value is the band's RMS level in a 2048-frame Hann window (at
// 44.1 kHz; about 46 ms at any rate) centred on the value's time, scaled
// linearly so that the band's 99th percentile over the music reads 255.
// A band is never stretched by more than 40 dB below the loudest band, and
// anything below -80 dB full scale reads 0.
#pragma once

#include <cstdint>
#include <string>

#include "audio.h"

const int32_t LoudnessBands = 12;
const int32_t LoudnessValues = 11442;
const int32_t LoudnessTableBytes = LoudnessBands * LoudnessValues;  // 137304

// Band b covers LoudnessBandEdges[b] .. LoudnessBandEdges[b + 1] Hz.
extern const float LoudnessBandEdges[LoudnessBands + 1];

struct LoudnessTable {
    uint8_t values[LoudnessBands][LoudnessValues];  // the file's layout
    int32_t used;                        // values within the music; the rest are 0
    float reference[LoudnessBands];      // RMS level that reads 255
};

// Frame of value k at `rate`: k × rate × 10 ÷ 441, rounded down.
int64_t loudnessValueFrame(int64_t k, int32_t rate);

// Seconds of audio the table can look at (the last value's time and half
// a window); decoding further is wasted.
const double LoudnessSeconds = 260.0;

// Window length (frames, a power of two) used at `rate`.
int32_t loudnessWindow(int32_t rate);

// Fills the table from the clip (any rate, channels mixed). `progress`
// (may be null) is called with 0..100 as the work goes on.
void loudnessAnalyse(const AudioClip& clip, LoudnessTable& table, void (*progress)(int32_t percent));

// The table as the file's bytes (137304).
std::string loudnessBytes(const LoudnessTable& table);

// The twelve bands over time as a PNG picture: band 0 at the bottom, one
// column per value (wider for short music), a line every second, a
// brighter one every ten seconds.
std::string loudnessPng(const LoudnessTable& table);

// The same picture's pixels, RGB rows from the top.
std::string loudnessPixels(const LoudnessTable& table, int32_t& width, int32_t& height);
