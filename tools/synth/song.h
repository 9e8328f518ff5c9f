// song.h - the song description: a small text format read into one record.
//
// A song is a tempo, instruments (oscillators or a drum voice, a filter, an
// envelope, effect sends), patterns (one row of steps per instrument),
// sections (patterns played together) and an arrangement of sections. The
// record has fixed tables only; the reader never reads outside its input and
// reports the first fault with its line number.
#pragma once

#include <cstddef>
#include <cstdint>

// Name lists, each written once; the enums and name tables come from them.
#define SONG_WAVES(X) X(saw) X(square) X(sine) X(noise)
#define SONG_DRUMS(X) X(kick) X(snare) X(hat) X(openhat)
#define SONG_FILTERS(X) X(lowpass) X(highpass) X(bandpass)

#define SONG_WAVE_ENUM(name) Wave_##name,
#define SONG_DRUM_ENUM(name) Drum_##name,
#define SONG_FILTER_ENUM(name) Filter_##name,
enum SongWave : uint8_t { SONG_WAVES(SONG_WAVE_ENUM) SongWaveCount };
enum SongDrum : uint8_t { SONG_DRUMS(SONG_DRUM_ENUM) SongDrumCount };
enum SongFilter : uint8_t { SONG_FILTERS(SONG_FILTER_ENUM) SongFilterCount };
#undef SONG_WAVE_ENUM
#undef SONG_DRUM_ENUM
#undef SONG_FILTER_ENUM

extern const char* const SongWaveNames[SongWaveCount];
extern const char* const SongDrumNames[SongDrumCount];
extern const char* const SongFilterNames[SongFilterCount];

const int32_t SongRate = 44100;  // frames per second of the rendered music
const int32_t SongMaxInstruments = 32;
const int32_t SongMaxOscs = 3;
const int32_t SongMaxPatterns = 64;
const int32_t SongMaxRows = 16;       // rows of one pattern
const int32_t SongMaxSteps = 256;     // steps of one pattern
const int32_t SongMaxCells = 65536;   // steps of all rows of all patterns
const int32_t SongMaxSections = 32;
const int32_t SongMaxLayers = 8;      // patterns of one section
const int32_t SongMaxArrange = 4096;  // section plays, repeats counted
const int32_t SongMaxSeconds = 600;   // arrangement and tail together
const float SongMaxDelaySeconds = 4;
const int32_t SongNameSize = 32;      // names: up to 31 characters

// A cell: what a row does at one step.
const int16_t SongHold = -1;     // "." the sounding note goes on
const int16_t SongRelease = -2;  // "-" the sounding note is released
const int16_t SongHitNote = 60;  // "x" / "o": a hit plays C4

struct SongCell {
    int16_t note;      // MIDI note 0..127, SongHold or SongRelease
    uint8_t velocity;  // 0..255 (255 full, "o" 128)
};

struct SongOsc {
    uint8_t wave;  // SongWave
    float detune;  // cents
    float level;
};

struct SongInstrument {
    char name[SongNameSize];
    int32_t oscCount;
    SongOsc oscs[SongMaxOscs];
    int32_t drum;    // SongDrum, or -1 for an oscillator instrument
    int32_t filter;  // SongFilter, or -1 for none
    float cutoff;    // Hz
    float resonance; // 0..1
    float sweep;     // Hz added to the cutoff at the note's start ...
    float sweepMs;   // ... falling to 0 over this time
    float attack, decay, sustain, release;  // ms, ms, level 0..1, ms
    float drumDecay; // ms; 0 takes the drum's own length
    float tune;      // semitones
    float volume;
    float pan;       // -1 left .. 1 right
    float delaySend, reverbSend;
};

struct SongRow {
    int32_t instrument;
    int32_t firstCell;  // index into Song::cells; `steps` cells follow
};

struct SongPattern {
    char name[SongNameSize];
    int32_t steps;
    int32_t rowCount;
    SongRow rows[SongMaxRows];
};

struct SongSection {
    char name[SongNameSize];
    int32_t steps;  // the longest of its patterns; shorter ones repeat
    int32_t layerCount;
    int32_t layers[SongMaxLayers];  // pattern indices
};

struct Song {
    float tempo;         // beats per minute
    int32_t stepsPerBeat;
    float tail;          // seconds rendered after the last step
    float volume;        // master
    float delaySteps;    // echo time in steps
    float delayFeedback;
    float reverbSize, reverbDamp;
    int32_t instrumentCount, patternCount, sectionCount, arrangeCount, cellCount;
    int64_t totalSteps;  // of the whole arrangement
    SongInstrument instruments[SongMaxInstruments];
    SongPattern patterns[SongMaxPatterns];
    SongSection sections[SongMaxSections];
    int16_t arrange[SongMaxArrange];  // section indices in playing order
    SongCell cells[SongMaxCells];
};

struct SongError {
    int32_t line;    // 1-based
    char text[160];  // what is wrong, one line
};

// Reads a song from text (any bytes). False with the first fault in `err`;
// `song` is then incomplete and must not be rendered.
bool songParse(Song& song, const char* data, size_t size, SongError& err);

// Frame at which step `step` of the arrangement begins.
int64_t songStepFrame(const Song& song, int64_t step);

// Frames of the whole rendering: the arrangement and the tail.
int64_t songFrames(const Song& song);
