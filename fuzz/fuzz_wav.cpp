// WAV reader, the loudness table and its picture: any bytes are read or
// refused, never read past; what is read gives a table of the file's size
// and a picture. (Tool units: their sources come in here.)
#include "fuzz_support.h"
#include "tools/synth/loudness.cpp"
#include "tools/synth/wav.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    AudioClip clip{};
    std::string why;
    // A copy of exactly `size` bytes, so a read past the end is caught.
    uint8_t* copy = (uint8_t*)malloc(size ? size : 1);
    memcpy(copy, data, size);
    bool ok = wavRead(copy, size, 0.05, clip, why);
    free(copy);
    if (!ok) {
        if (why.empty() || clip.samples) abort();
        return 0;
    }
    if (clip.channels < 1 || clip.channels > AudioMaxChannels || clip.rate < 1000) abort();
    if ((double)clip.frames > 0.05 * clip.rate + 1 || (double)clip.frames * clip.channels > (double)size) abort();
    for (int64_t i = 0; i < clip.frames * clip.channels; ++i)
        if (!(clip.samples[i] >= -1.0f && clip.samples[i] <= 1.0f)) abort();
    static LoudnessTable table;
    loudnessAnalyse(clip, table, nullptr);
    if (loudnessBytes(table).size() != (size_t)LoudnessTableBytes) abort();
    // The picture's pixels (its PNG encoding is stb's, and slow here).
    int32_t w = 0, h = 0;
    if (loudnessPixels(table, w, h).size() != (size_t)w * h * 3 || w < 1 || h < 1) abort();
    audioFree(clip);
    return 0;
}
