#include "sound.h"

#include <cstring>

#include "../frame/frame.h"

OpenALFunctions AL;
VorbisModule Vorbis;
AudioState Audio;

namespace {

void bindOpenAL() {
    AL.handle = Base.BS_DlOpen("OpenAL32");
    if (!AL.handle) FatalStop(" OpenAL32 not found. Please reinstall this software.");
    LogLine("[al] lib loaded.");
#define AL_BIND(ret, name, params) AL.name = (ret(*) params)Base.BS_DlGetProc(AL.handle, #name);
    AL_API_LIST(AL_BIND)
#undef AL_BIND
}

void uninitOpenAL() {
    if (!AL.handle) return;
    if (AL.alcGetCurrentContext && AL.alcMakeContextCurrent && AL.alcDestroyContext && AL.alcCloseDevice) {
        if (ALCcontext* c = AL.alcGetCurrentContext()) {
            ALCdevice* d = AL.alcGetContextsDevice ? AL.alcGetContextsDevice(c) : nullptr;
            AL.alcMakeContextCurrent(nullptr);
            AL.alcDestroyContext(c);
            if (d) AL.alcCloseDevice(d);
        }
    }
    Base.BS_DlClose(AL.handle);
    AL.handle = nullptr;
}

void bindVorbis() {
    Vorbis.handle = Base.BS_DlOpen("Vorbis");
    if (!Vorbis.handle) FatalStop("Ogg Vorbis decoder not found. Please reinstall this software.");
    LogLine("[vorbis] lib loaded.");
#define V_BIND(ret, name, params) Vorbis.name = (ret(*) params)Base.BS_DlGetProc(Vorbis.handle, #name);
    VORBIS_API_LIST(V_BIND)
#undef V_BIND
}

void uninitVorbis() {
    if (Vorbis.handle) Base.BS_DlClose(Vorbis.handle);
    Vorbis.handle = nullptr;
}

// Every entry point the sound system calls; a library without one of them is
// treated as no device rather than called through a null pointer.
bool openALComplete() {
    return AL.alcOpenDevice && AL.alcCreateContext && AL.alcMakeContextCurrent && AL.alcGetError &&
           AL.alListenerf && AL.alListenerfv && AL.alListener3f && AL.alGenBuffers && AL.alBufferData &&
           AL.alGenSources && AL.alSourcef && AL.alSourcei && AL.alSourcePlay && AL.alSourceStop &&
           AL.alDeleteBuffers && AL.alcGetCurrentContext && AL.alcDestroyContext && AL.alcCloseDevice;
}

// ALC_SOFT_loopback, for a capture of the show (--capture): the music is
// mixed into memory at the window manager's pace instead of a sound card.
const ALCint kAlcFormatChannels = 0x1990;  // ALC_FORMAT_CHANNELS_SOFT
const ALCint kAlcFormatType = 0x1991;      // ALC_FORMAT_TYPE_SOFT
const ALCint kAlcStereo = 0x1501;          // ALC_STEREO_SOFT
const ALCint kAlcFloat = 0x1406;           // ALC_FLOAT_SOFT

const ALenum kAlSampleOffset = 0x1025;  // AL_SAMPLE_OFFSET

// Sample frame of the music at show time ms; the source loops.
ALint musicFrameAt(const VorbisStream* music, int32_t ms) {
    int64_t frames = music && music->size > 0 ? music->size / 4 : 0;  // 16-bit stereo
    if (frames <= 0 || ms <= 0) return 0;
    return (ALint)(((int64_t)ms * music->rate / 1000) % frames);
}

bool captureAudio() { return Window.settings && Window.settings->captureaudio == 1; }

// The loopback device in the capture's format; 0 when the library lacks it.
ALCdevice* openLoopback() {
    using OpenLoopback = ALCdevice* (*)(const ALCchar*);
    auto open = (OpenLoopback)Base.BS_DlGetProc(AL.handle, "alcLoopbackOpenDeviceSOFT");
    ALCdevice* device = open ? open(nullptr) : nullptr;
    if (!device) LogLine("[al] no loopback device: the capture's sound track stays silent");
    return device;
}

}  // namespace

void SoundRegister() {
    RegisterInit(S("OpenAL ..."), 5, bindOpenAL);
    RegisterExit(S("Uninit OpenAL ..."), 5, uninitOpenAL);
    RegisterInit(S("Vorbis ..."), 6, bindVorbis);
    RegisterExit(S("Uninit Vorbis ..."), 6, uninitVorbis);
    RegisterExit(S("Uninit sound system ..."), 7, sndShutdown);
}

int32_t sndStartAudio() {
    if (WindowSetting(WindowSettingSoundOff) == 1) return 0;
    if (Audio.audioReady) return 0;
    if (!openALComplete()) return -1;
    if (captureAudio()) {
        ALCdevice* device = openLoopback();
        if (!device) return -1;
        Audio.device = device;
        const ALCint attributes[] = {ALC_FREQUENCY, WM_CAPTURE_RATE, kAlcFormatChannels, kAlcStereo,
                                     kAlcFormatType, kAlcFloat, 0};
        Audio.context = AL.alcCreateContext(device, attributes);
        if (!Audio.context) {
            LogLine("[al] the loopback device refuses 44100 Hz stereo float: the capture's sound track stays silent");
            AL.alcCloseDevice(device);
            Audio.device = nullptr;
            return -1;
        }
    } else {
        // "DirectSound" names no device here: ask for it, then for the default.
        ALCdevice* device = AL.alcOpenDevice("DirectSound");
        if (!device) device = AL.alcOpenDevice(nullptr);
        if (!device) return AL.alcGetError(nullptr);
        Audio.device = device;
        const ALCint attributes[] = {ALC_FREQUENCY, 44100, 0};
        Audio.context = AL.alcCreateContext(device, attributes);
    }
    AL.alcMakeContextCurrent(Audio.context);
    AL.alListenerf(AL_GAIN, 1.0f);
    AL.alListener3f(AL_POSITION, 0, 0, 0);
    AL.alListener3f(AL_VELOCITY, 0, 0, 0);
    const ALfloat orientation[6] = {0, 0, -1, 0, 1, 0};
    AL.alListenerfv(AL_ORIENTATION, orientation);
    Audio.audioReady = true;
    return 0;
}

void sndLoadMusic(const ShortString& fileName) {
    if (sndStartAudio() != 0) Audio.audioReady = false;
    if (!Audio.audioReady) return;
    Audio.music = Vorbis.v_open ? Vorbis.v_open(ToCString(fileName)) : nullptr;
    if (!Audio.music) FatalStop("Music not found. ");
    if (Vorbis.v_read) Vorbis.v_read(Audio.music);
    AL.alGenBuffers(1, &Audio.buffer);
    AL.alBufferData(Audio.buffer, AL_FORMAT_STEREO16, Audio.music->samples, Audio.music->size, Audio.music->rate);
}

void sndPlayMusic() {
    if (!Audio.audioReady) return;
    AL.alGenSources(1, &Audio.source);
    AL.alSourcef(Audio.source, AL_PITCH, 1.0f);
    AL.alSourcef(Audio.source, AL_GAIN, 1.0f);
    AL.alSourcei(Audio.source, AL_LOOPING, 1);
    AL.alSourcei(Audio.source, AL_BUFFER, (ALint)Audio.buffer);
    AL.alSourcePlay(Audio.source);
}

void sndStopMusic() {
    if (!Audio.audioReady) return;
    AL.alSourceStop(Audio.source);
}

void sndShutdown() {
    if (!Audio.audioReady || !AL.alcGetCurrentContext || !AL.alcGetCurrentContext()) return;
    if (Vorbis.v_close) Vorbis.v_close(Audio.music);
    Audio.music = nullptr;
    sndStopMusic();
    AL.alDeleteBuffers(1, &Audio.buffer);
    AL.alcMakeContextCurrent(nullptr);
    AL.alcDestroyContext(Audio.context);
    AL.alcCloseDevice(Audio.device);
}

void sndSeekMusic(int32_t ms) {
    if (!Audio.audioReady || !Audio.music) return;
    AL.alSourcei(Audio.source, kAlSampleOffset, musicFrameAt(Audio.music, ms));
}

void sndPauseMusic(bool paused) {
    if (!Audio.audioReady) return;
    if (paused) {
        if (AL.alSourcePause) AL.alSourcePause(Audio.source);
    } else {
        AL.alSourcePlay(Audio.source);
    }
}

bool sndReloadMusic(const ShortString& fileName, int32_t ms, bool paused, std::string* why) {
    if (!Audio.audioReady) return true;  // silent show: nothing to replace
    VorbisStream* music = Vorbis.v_open ? Vorbis.v_open(ToCString(fileName)) : nullptr;
    if (music && Vorbis.v_read) Vorbis.v_read(music);
    if (!music || !music->samples || music->size <= 0) {
        if (music && Vorbis.v_close) Vorbis.v_close(music);
        if (why) *why = "not an Ogg Vorbis file the decoder can read";
        return false;
    }
    ALuint buffer = 0;
    AL.alGenBuffers(1, &buffer);
    AL.alBufferData(buffer, AL_FORMAT_STEREO16, music->samples, music->size, music->rate);
    AL.alSourceStop(Audio.source);
    AL.alSourcei(Audio.source, AL_BUFFER, (ALint)buffer);
    AL.alDeleteBuffers(1, &Audio.buffer);
    if (Vorbis.v_close) Vorbis.v_close(Audio.music);
    Audio.buffer = buffer;
    Audio.music = music;
    AL.alSourcePlay(Audio.source);
    sndSeekMusic(ms);
    if (paused) sndPauseMusic(true);
    return true;
}
