// Vorbis decoder module (Modules/Vorbis.so), over libvorbisfile.
//
// v_open opens a file; v_read decodes all of it as 16-bit stereo;
// v_read_channels does the same with 1 or 2 channels; v_size tells how many
// bytes v_read delivers; v_close releases everything.

#include "vorbis_api.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vorbis/vorbisfile.h>

#include <climits>

#define V_EXPORT extern "C" __attribute__((visibility("default")))

static_assert(offsetof(VorbisStream, samples) == 8, "samples at byte 8");
static_assert(offsetof(VorbisStream, size) == 20, "size at byte 20");
static_assert(offsetof(VorbisStream, rate) == 28, "rate at byte 28");

namespace {

int16_t toSample(float v) {
    float s = v * 32767.0f;
    if (!(s > -32768.0f)) return -32768;  // NaN too
    if (s > 32767.0f) return 32767;
    return (int16_t)lrintf(s);
}

// Which file channels make the front left and right.
void frontPair(int channels, int* left, int* right) {
    *left = 0;
    if (channels <= 1) *right = 0;
    else if (channels == 2 || channels == 4) *right = 1;
    else *right = 2;  // 3, 5, 6, 7, 8 channels: L, C, R, ... in Vorbis order
}

int32_t decode(VorbisStream* s, int32_t outChannels) {
    if (!s || !s->file || (outChannels != 1 && outChannels != 2)) return -1;
    OggVorbis_File* vf = (OggVorbis_File*)s->file;
    free(s->samples);
    s->samples = nullptr;
    s->size = s->frames = 0;
    if (ov_raw_seek(vf, 0) != 0 && ov_seekable(vf)) return -1;
    int left, right;
    frontPair(s->channels, &left, &right);
    size_t cap = 0, frames = 0;
    int16_t* out = nullptr;
    // Decoded bytes must fit the record's 32-bit size.
    const size_t maxFrames = (size_t)INT32_MAX / (sizeof(int16_t) * (size_t)outChannels);
    for (;;) {
        float** pcm = nullptr;
        int section = 0;
        long n = ov_read_float(vf, &pcm, 4096, &section);
        if (n == OV_HOLE) continue;  // a gap in the data: go on with what follows
        if (n <= 0) break;           // end, or a broken stream: keep what we have
        vorbis_info* vi = ov_info(vf, section);
        int ch = vi ? vi->channels : s->channels;
        frontPair(ch, &left, &right);
        if (frames + (size_t)n > maxFrames) n = (long)(maxFrames - frames);
        if (frames + (size_t)n > cap) {
            size_t want = cap ? cap * 2 : 65536;
            while (want < frames + (size_t)n) want *= 2;
            int16_t* grown = (int16_t*)realloc(out, want * (size_t)outChannels * sizeof(int16_t));
            if (!grown) break;
            out = grown;
            cap = want;
        }
        for (long i = 0; i < n; ++i) {
            int16_t* f = out + (frames + (size_t)i) * (size_t)outChannels;
            if (outChannels == 2) {
                f[0] = toSample(pcm[left][i]);
                f[1] = toSample(pcm[right][i]);
            } else {
                f[0] = toSample(ch > 1 ? 0.5f * (pcm[left][i] + pcm[right][i]) : pcm[0][i]);
            }
        }
        frames += (size_t)n;
        if (frames >= maxFrames) break;
    }
    s->samples = out;
    s->frames = (int32_t)frames;
    s->size = (int32_t)(frames * (size_t)outChannels * sizeof(int16_t));
    s->outchannels = outChannels;
    return s->size;
}

}  // namespace

V_EXPORT VorbisStream* v_open(const char* fileName) {
    if (!fileName) return nullptr;
    OggVorbis_File* vf = (OggVorbis_File*)calloc(1, sizeof(OggVorbis_File));
    if (!vf) return nullptr;
    if (ov_fopen(fileName, vf) != 0) {
        free(vf);
        return nullptr;
    }
    vorbis_info* vi = ov_info(vf, -1);
    if (!vi || vi->channels < 1 || vi->rate < 1) {
        ov_clear(vf);
        free(vf);
        return nullptr;
    }
    VorbisStream* s = (VorbisStream*)calloc(1, sizeof(VorbisStream));
    if (!s) {
        ov_clear(vf);
        free(vf);
        return nullptr;
    }
    s->file = vf;
    s->channels = vi->channels;
    s->rate = (int32_t)vi->rate;
    s->outchannels = 2;
    return s;
}

V_EXPORT int32_t v_size(VorbisStream* s) {
    if (!s || !s->file) return 0;
    ogg_int64_t frames = ov_pcm_total((OggVorbis_File*)s->file, -1);
    if (frames < 0) return 0;
    long long bytes = (long long)frames * 4;
    return bytes > INT32_MAX ? INT32_MAX : (int32_t)bytes;
}

V_EXPORT int32_t v_read(VorbisStream* s) { return decode(s, 2); }

V_EXPORT int32_t v_read_channels(VorbisStream* s, int32_t channels) { return decode(s, channels); }

V_EXPORT void v_close(VorbisStream* s) {
    if (!s) return;
    if (s->file) {
        ov_clear((OggVorbis_File*)s->file);
        free(s->file);
    }
    free(s->samples);
    free(s);
}
