// Song reader and synthesiser: any bytes give a verdict; a song that reads
// renders its first moments with finite samples inside the limiter.
// (Tool units: their sources come in here.)
#include "fuzz_support.h"
#include "tools/synth/song.cpp"
#include "tools/synth/synth.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    static Song song;
    SongError err;
    if (!songParse(song, (const char*)data, size, err)) {
        if (err.line < 1 || !memchr(err.text, 0, sizeof err.text) || err.text[0] == 0) abort();
        return 0;
    }
    // The record holds together.
    if (song.arrangeCount < 1 || song.totalSteps < 1) abort();
    int64_t steps = 0;
    for (int32_t i = 0; i < song.arrangeCount; ++i) {
        if (song.arrange[i] < 0 || song.arrange[i] >= song.sectionCount) abort();
        steps += song.sections[song.arrange[i]].steps;
    }
    if (steps != song.totalSteps) abort();
    for (int32_t p = 0; p < song.patternCount; ++p)
        for (int32_t r = 0; r < song.patterns[p].rowCount; ++r) {
            const SongRow& row = song.patterns[p].rows[r];
            if (row.instrument < 0 || row.instrument >= song.instrumentCount) abort();
            if (row.firstCell < 0 || row.firstCell + song.patterns[p].steps > song.cellCount) abort();
        }
    if (songFrames(song) > (int64_t)SongMaxSeconds * SongRate) abort();
    static Synth synth;
    synthStart(synth, song);
    static float out[2 * 4096];
    for (int block = 0; block < 3; ++block) {
        int32_t n = synthRender(synth, out, 4096);
        for (int32_t i = 0; i < 2 * n; ++i)
            if (!std::isfinite(out[i]) || std::fabs(out[i]) > 0.9f) abort();
    }
    synthStop(synth);
    return 0;
}
