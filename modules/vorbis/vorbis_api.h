/* vorbis_api.h - the Vorbis decoder module (Modules/Vorbis.so).

   The module decodes an Ogg Vorbis file whole into interleaved signed 16-bit
   stereo (left first), whatever the file's channel count: mono is doubled,
   more channels are reduced to the front left and right. The program reads
   the stream record by byte offset: samples at 8, their size in bytes at 20,
   the sample rate at 28. */
#ifndef VELMAR_VORBIS_API_H
#define VELMAR_VORBIS_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VorbisStream {
    int32_t channels;    /* 0: channels of the file */
    int32_t reserved;    /* 4 */
    int16_t* samples;    /* 8: decoded samples, interleaved stereo */
    int32_t frames;      /* 16: sample frames decoded */
    int32_t size;        /* 20: bytes of decoded samples */
    int32_t outchannels; /* 24: channels delivered (always 2 after v_read) */
    int32_t rate;        /* 28: sample rate in Hz */
    void* file;          /* 32: the decoder's own state */
} VorbisStream;

/* X(ret, name, params), in binding order. */
#define VORBIS_API_LIST(X) \
    X(VorbisStream*, v_open, (const char* fileName)) \
    X(int32_t, v_size, (VorbisStream* stream)) \
    X(int32_t, v_read, (VorbisStream* stream)) \
    X(int32_t, v_read_channels, (VorbisStream* stream, int32_t channels)) \
    X(void, v_close, (VorbisStream* stream))

#ifdef __cplusplus
}
#endif

#endif
