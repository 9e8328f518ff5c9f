// synth.h - the music synthesiser and its companions, used by velmar.
//
// The unit owns: the song format and its reader (song.h), the synthesiser
// here (a step sequencer playing oscillator and drum voices through filters
// and envelopes into an echo and a reverb, 44.1 kHz stereo), audio files
// (audio.h: WAV read and write, Ogg Vorbis decode and encode) and the 12-band
// loudness table with its picture (loudness.h).
//
// Rendering is deterministic: no clock, no outside seed; noise comes from
// integer generators seeded by the order of the notes. The same song gives
// the same samples, and the same encoder settings the same file.
#pragma once

#include <cstdint>

#include "song.h"

const int32_t SynthMaxVoices = 64;
const int32_t SynthBlock = 64;  // frames mixed at once

enum SynthStage : int32_t { EnvOff, EnvAttack, EnvDecay, EnvSustain, EnvRelease };

struct SynthVoice {
    int32_t stage;       // SynthStage; EnvOff is a free voice
    int32_t instrument;
    int32_t owner;       // the row that holds it (layer * SongMaxRows + row + 1), 0 once let go
    uint32_t serial;     // start order: the oldest voice is taken first when all are busy
    float velocity;
    float gainL, gainR;  // volume, velocity and pan
    // oscillators (phase 0..1, increment per frame)
    float phase[SongMaxOscs], inc[SongMaxOscs];
    // envelope: `fall` runs from 1 down to e^-5 over a segment
    float level, attackStep, fall, fallStep, releaseFrom;
    // filter (state-variable), cutoff sweep
    float ic1, ic2, fg, fk, fa1, sweepFall, sweepStep;
    int32_t filterCountdown;
    // drum voice
    float pitchFall, pitchStep, toneFall, toneStep;
    float drumPhase[2];
    float nic1, nic2, ng, nk, na1;  // the drum's own noise filter
    uint32_t noise;
};

struct Synth {
    const Song* song;
    int64_t frame, total;  // frames rendered and to render
    int64_t step;          // next step of the arrangement
    int64_t nextStepFrame;
    int32_t entry, stepInSection;
    uint32_t serial;
    SynthVoice voices[SynthMaxVoices];
    // effects, all in one block from BS_MemGet
    float* effects;
    float* echo;  // stereo, interleaved
    int32_t echoLength, echoPos;
    float echoTone[2];
    float* comb[16];
    int32_t combLength[16], combPos[16];
    float combStore[16];
    float* allpass[8];
    int32_t allpassLength[8], allpassPos[8];
    float roomFeedback, roomDamp;
    // what the output went through
    float peak;        // largest sample before the limiter
    int64_t limited;   // samples the limiter bent
};

// Prepares rendering of `song`, which must stay alive until synthStop.
void synthStart(Synth& s, const Song& song);

// Renders up to `frames` frames of interleaved stereo floats (-0.9..0.9)
// into `out`; returns the number written, less than asked only at the end.
int32_t synthRender(Synth& s, float* out, int32_t frames);

void synthStop(Synth& s);

// The whole song into `out` (2 × songFrames floats); returns the frames.
int64_t synthRenderAll(const Song& song, float* out);
