// Music tools speed: rendering a busy song, encoding and decoding it as Ogg
// Vorbis, and the loudness table of the result.
//
//   build/bench/bench_synth [SECONDS]   (60 by default)
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "support/support.h"
#include "tools/synth/audio.h"
#include "tools/synth/loudness.h"
#include "tools/synth/synth.h"

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Four bars a section at 128 bpm: drums, a filtered bass with a sweep, a
// three-oscillator pad of four notes and a lead through echo and reverb -
// about 12 voices at once, more in the releases.
std::string BusySong(int seconds) {
    int plays = seconds * 128 / 60 / 16 + 1;  // sections of 16 beats
    return "tempo 128\nsteps 4\ntail 1\nvolume 0.5\ndelay 3 0.4\nreverb 0.7 0.4\n"
           "instrument kick\n drum kick\nend\ninstrument snare\n drum snare\n reverb 0.3\nend\n"
           "instrument hat\n drum hat\n volume 0.3\nend\ninstrument ohat\n drum openhat\n volume 0.2\nend\n"
           "instrument bass\n osc saw\n osc square -8 0.5\n filter lowpass 200 0.5\n sweep 900 120\n"
           " env 2 180 0.5 60\n volume 0.4\nend\n"
           "instrument pad\n osc saw 10 0.6\n osc saw -10 0.6\n osc sine\n filter lowpass 1500 0.3\n"
           " env 300 800 0.8 900\n volume 0.1\n reverb 0.6\nend\n"
           "instrument lead\n osc square 5\n osc saw -5\n filter bandpass 1800 0.4\n env 5 200 0.6 150\n"
           " volume 0.15\n delay 0.4\n reverb 0.3\nend\n"
           "pattern beat 16\n kick x . . . x . . . x . . . x . . .\n snare . . . . x . . . . . . . x . . o\n"
           " hat x x x x x x x x x x x x x x x x\n ohat . . x . . . x . . . x . . . x .\nend\n"
           "pattern bassline 16\n bass A1 . A2 - A1 . G2 - A1 . A2 - C2 . D2 -\nend\n"
           "pattern chords 64\n"
           " pad A3 . . . . . . . . . . . . . . . F3 . . . . . . . . . . . . . . . G3 . . . . . . . . . . . . . . . E3 . . . . . . . . . . . . . . .\n"
           " pad C4 . . . . . . . . . . . . . . . A3 . . . . . . . . . . . . . . . B3 . . . . . . . . . . . . . . . G#3 . . . . . . . . . . . . . . .\n"
           " pad E4 . . . . . . . . . . . . . . . C4 . . . . . . . . . . . . . . . D4 . . . . . . . . . . . . . . . B3 . . . . . . . . . . . . . . .\n"
           " pad A4 . . . . . . . . . . . . . . . F4 . . . . . . . . . . . . . . . G4 . . . . . . . . . . . . . . . E4 . . . . . . . . . . . . . . .\n"
           "end\n"
           "pattern melody 16\n lead A4 . C5 . E5 . D5 C5 B4 . G4 . A4 - E4 .\nend\n"
           "section all beat bassline chords melody\n"
           "arrange all*" + std::to_string(plays) + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    BindLinkedBase();
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (seconds < 1 || seconds > 590) seconds = 60;
    std::string text = BusySong(seconds);
    static Song song;
    SongError err;
    if (!songParse(song, text.data(), text.size(), err)) {
        fprintf(stderr, "bench song: line %d: %s\n", err.line, err.text);
        return 1;
    }
    int64_t frames = songFrames(song);
    double length = (double)frames / SongRate;
    printf("song: %.1f s of music, %d instruments, 4 layers\n", length, song.instrumentCount);

    std::vector<float> pcm(2 * (size_t)frames);
    double t0 = now();
    int64_t n = synthRenderAll(song, pcm.data());
    double render = now() - t0;
    printf("render:   %7.3f s  %6.1f x real time  (%.2f us a frame)\n", render, length / render, render * 1e6 / (double)n);

    t0 = now();
    VorbisWriter w{};
    vorbisWriterStart(w, 2, SongRate);
    for (int64_t at = 0; at < n; at += 4096) vorbisWriterPush(w, pcm.data() + 2 * at, (int32_t)std::min<int64_t>(4096, n - at));
    vorbisWriterFinish(w);
    double encode = now() - t0;
    printf("encode:   %7.3f s  %6.1f x real time  (%.0f kbit/s)\n", encode, length / encode,
           (double)w.out.size() * 8 / length / 1000);

    t0 = now();
    AudioClip clip{};
    std::string why;
    if (!audioRead(w.out, LoudnessSeconds, clip, why)) {
        fprintf(stderr, "decode: %s\n", why.c_str());
        return 1;
    }
    double decode = now() - t0;
    printf("decode:   %7.3f s  %6.1f x real time\n", decode, (double)clip.frames / SongRate / decode);

    static LoudnessTable table;
    t0 = now();
    loudnessAnalyse(clip, table, nullptr);
    double analyse = now() - t0;
    printf("loudness: %7.3f s  %6.1f x real time  (%d values; a full 259 s table: about %.2f s)\n", analyse,
           (double)clip.frames / SongRate / analyse, table.used, analyse * LoudnessValues / table.used);
    printf("whole music render + loudness of this song: %.2f s\n", render + encode + decode + analyse);
    audioFree(clip);
    return 0;
}
