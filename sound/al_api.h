// al_api.h - the OpenAL 1.0 entry points the sound system binds, one list.
//
// X(ret, name, params), in binding order. The table and its binding loop are
// made from it; a name the library lacks leaves its slot 0. Only the types
// and constants come from the headers: nothing links OpenAL.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#define AL_API_LIST(X) \
    X(void, alEnable, (ALenum capability)) \
    X(void, alDisable, (ALenum capability)) \
    X(ALboolean, alIsEnabled, (ALenum capability)) \
    X(void, alGetBooleanv, (ALenum param, ALboolean *values)) \
    X(void, alGetIntegerv, (ALenum param, ALint *values)) \
    X(void, alGetFloatv, (ALenum param, ALfloat *values)) \
    X(void, alGetDoublev, (ALenum param, ALdouble *values)) \
    X(const ALchar*, alGetString, (ALenum param)) \
    X(ALboolean, alGetBoolean, (ALenum param)) \
    X(ALint, alGetInteger, (ALenum param)) \
    X(ALfloat, alGetFloat, (ALenum param)) \
    X(ALdouble, alGetDouble, (ALenum param)) \
    X(ALenum, alGetError, (void)) \
    X(ALboolean, alIsExtensionPresent, (const ALchar *extname)) \
    X(void*, alGetProcAddress, (const ALchar *fname)) \
    X(ALenum, alGetEnumValue, (const ALchar *ename)) \
    X(void, alListenerf, (ALenum param, ALfloat value)) \
    X(void, alListeneri, (ALenum param, ALint value)) \
    X(void, alListener3f, (ALenum param, ALfloat value1, ALfloat value2, ALfloat value3)) \
    X(void, alListenerfv, (ALenum param, const ALfloat *values)) \
    X(void, alGetListeneri, (ALenum param, ALint *value)) \
    X(void, alGetListenerf, (ALenum param, ALfloat *value)) \
    X(void, alGetListenerfv, (ALenum param, ALfloat *values)) \
    X(void, alGetListener3f, (ALenum param, ALfloat *value1, ALfloat *value2, ALfloat *value3)) \
    X(void, alGenSources, (ALsizei n, ALuint *sources)) \
    X(void, alDeleteSources, (ALsizei n, const ALuint *sources)) \
    X(ALboolean, alIsSource, (ALuint source)) \
    X(void, alSourcei, (ALuint source, ALenum param, ALint value)) \
    X(void, alSourcef, (ALuint source, ALenum param, ALfloat value)) \
    X(void, alSource3f, (ALuint source, ALenum param, ALfloat value1, ALfloat value2, ALfloat value3)) \
    X(void, alSourcefv, (ALuint source, ALenum param, const ALfloat *values)) \
    X(void, alGetSourcei, (ALuint source,  ALenum param, ALint *value)) \
    X(void, alGetSourcef, (ALuint source, ALenum param, ALfloat *value)) \
    X(void, alGetSourcefv, (ALuint source, ALenum param, ALfloat *values)) \
    X(void, alSourcePlayv, (ALsizei n, const ALuint *sources)) \
    X(void, alSourceStopv, (ALsizei n, const ALuint *sources)) \
    X(void, alSourceRewindv, (ALsizei n, const ALuint *sources)) \
    X(void, alSourcePausev, (ALsizei n, const ALuint *sources)) \
    X(void, alSourcePlay, (ALuint source)) \
    X(void, alSourcePause, (ALuint source)) \
    X(void, alSourceRewind, (ALuint source)) \
    X(void, alSourceStop, (ALuint source)) \
    X(void, alGenBuffers, (ALsizei n, ALuint *buffers)) \
    X(void, alDeleteBuffers, (ALsizei n, const ALuint *buffers)) \
    X(ALboolean, alIsBuffer, (ALuint buffer)) \
    X(void, alBufferData, (ALuint buffer, ALenum format, const ALvoid *data, ALsizei size, ALsizei freq)) \
    X(void, alBufferAppendData, (ALuint buffer, ALenum format, const ALvoid* data, ALsizei size, ALsizei freq)) \
    X(void, alGetBufferi, (ALuint buffer, ALenum param, ALint *value)) \
    X(void, alGetBufferf, (ALuint buffer, ALenum param, ALfloat *value)) \
    X(void, alSourceQueueBuffers, (ALuint source, ALsizei nb, const ALuint *buffers)) \
    X(void, alSourceUnqueueBuffers, (ALuint source, ALsizei nb, ALuint *buffers)) \
    X(void, alDopplerFactor, (ALfloat value)) \
    X(void, alDopplerVelocity, (ALfloat value)) \
    X(void, alDistanceModel, (ALenum distanceModel)) \
    X(ALCcontext*, alcCreateContext, (ALCdevice *device, const ALCint* attrlist)) \
    X(ALCboolean, alcMakeContextCurrent, (ALCcontext *context)) \
    X(void, alcProcessContext, (ALCcontext *context)) \
    X(void, alcSuspendContext, (ALCcontext *context)) \
    X(void, alcDestroyContext, (ALCcontext *context)) \
    X(ALCenum, alcGetError, (ALCdevice *device)) \
    X(ALCcontext*, alcGetCurrentContext, (void)) \
    X(ALCdevice*, alcOpenDevice, (const ALCchar *devicename)) \
    X(ALCboolean, alcCloseDevice, (ALCdevice *device)) \
    X(ALCboolean, alcIsExtensionPresent, (ALCdevice *device, const ALCchar *extname)) \
    X(ALCenum, alcGetEnumValue, (ALCdevice *device, const ALCchar *enumname)) \
    X(ALCdevice*, alcGetContextsDevice, (ALCcontext *context)) \
    X(const ALCchar*, alcGetString, (ALCdevice *device, ALCenum param)) \
    X(void, alcGetIntegerv, (ALCdevice *device, ALCenum param, ALCsizei size, ALCint *values))
