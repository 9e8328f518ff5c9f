// audio.h - audio files: WAV read and write, Ogg Vorbis decode and encode.
//
// Readers take the whole file from memory, never read outside it and stop
// after `maxSeconds` of audio (all of it when negative), so a long or lying
// file costs no more than what is asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Decoded audio: interleaved float samples (-1..1), from BS_MemGet.
struct AudioClip {
    int32_t rate;      // frames per second
    int32_t channels;  // 1..16
    int64_t frames;
    float* samples;    // frames × channels; null when frames is 0
};

const int32_t AudioMaxChannels = 16;

void audioFree(AudioClip& clip);

// WAV (RIFF): PCM 8/16/24/32-bit, float 32/64-bit, plain or extensible
// header. A data chunk that claims more than the file holds is read as far
// as it goes. False with a one-line reason.
bool wavRead(const uint8_t* data, size_t size, double maxSeconds, AudioClip& clip, std::string& why);

// 16-bit PCM WAV: the 44-byte header for `frames` frames, then the
// interleaved float samples (clipped to -1..1) appended block by block.
std::string wavHeader(int64_t frames, int32_t channels, int32_t rate);
void wavAppend(std::string& out, const float* samples, int64_t count);

// Ogg Vorbis through libvorbisfile.
bool vorbisRead(const uint8_t* data, size_t size, double maxSeconds, AudioClip& clip, std::string& why);

// Picks the reader from the file's first bytes ("RIFF....WAVE" or "OggS").
bool audioRead(const std::string& file, double maxSeconds, AudioClip& clip, std::string& why);

// Ogg Vorbis encoding with fixed settings and a fixed stream serial number:
// the same samples give the same bytes.
struct VorbisWriterState;
struct VorbisWriter {
    VorbisWriterState* state;
    std::string out;  // the file so far
};
const float VorbisQuality = 0.5f;  // about 160 kbit/s for stereo at 44.1 kHz
void vorbisWriterStart(VorbisWriter& w, int32_t channels, int32_t rate);
void vorbisWriterPush(VorbisWriter& w, const float* samples, int32_t frames);
void vorbisWriterFinish(VorbisWriter& w);  // the last pages into `out`
