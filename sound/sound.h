// sound.h - the music: decoded whole by the Vorbis module, played by OpenAL.
//
// The unit binds the Vorbis decoder module ("Vorbis") and OpenAL ("OpenAL32")
// at registry slots 6 and 5, and tears the music down at slot 7. One device,
// one context, one buffer, one looping source. The audio position is never
// read: the show clock is the Base timer, reset right after sndPlayMusic.
// While the show is captured to video (the window manager's settings record
// says so) the device is OpenAL Soft's loopback device, which the window
// manager mixes one frame's worth at a time; nothing else changes.
#pragma once

#include <cstdint>
#include <string>

#include "../frame/shortstring.h"
#include "../modules/vorbis/vorbis_api.h"
#include "al_api.h"

struct OpenALFunctions {
    void* handle;
#define AL_SLOT(ret, name, params) ret(*name) params;
    AL_API_LIST(AL_SLOT)
#undef AL_SLOT
};

struct VorbisModule {
    void* handle;
#define V_SLOT(ret, name, params) ret(*name) params;
    VORBIS_API_LIST(V_SLOT)
#undef V_SLOT
};

struct AudioState {
    bool audioReady;
    ALCdevice* device;
    ALCcontext* context;
    ALuint buffer;
    ALuint source;
    VorbisStream* music;
};

extern OpenALFunctions AL;
extern VorbisModule Vorbis;
extern AudioState Audio;

// Registers slots 5, 6 and 7.
void SoundRegister();

// Both return 0; the music plays silently skipped when there is no device
// or the window manager's settings switch sound off.
void sndLoadMusic(const ShortString& fileName);
void sndPlayMusic();
void sndStopMusic();
void sndShutdown();

// Author mode and --start: the music's position follows the show clock (ms,
// wrapped at the music's length, as the source loops); pause holds it.
void sndSeekMusic(int32_t ms);
void sndPauseMusic(bool paused);
// Decodes the file anew and plays it on from show time `ms` (paused when
// `paused`); false with the reason, the old music playing on, when the file
// cannot be read.
bool sndReloadMusic(const ShortString& fileName, int32_t ms, bool paused, std::string* why);

// Audio start-up: 0 = fine, else the device error code.
int32_t sndStartAudio();
