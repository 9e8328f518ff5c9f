// Ogg Vorbis through libvorbisfile and libvorbisenc, from and to memory.
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstring>

#include "../../frame/base.h"
#include "audio.h"

namespace {

struct MemorySource {
    const uint8_t* data;
    size_t size, pos;
};

size_t memoryRead(void* ptr, size_t size, size_t count, void* source) {
    MemorySource& m = *(MemorySource*)source;
    if (size == 0) return 0;
    size_t left = m.size - m.pos;
    size_t n = count < left / size ? count : left / size;
    memcpy(ptr, m.data + m.pos, n * size);
    m.pos += n * size;
    return n;
}

int memorySeek(void* source, ogg_int64_t offset, int whence) {
    MemorySource& m = *(MemorySource*)source;
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? (int64_t)m.pos : (int64_t)m.size;
    if (offset > (int64_t)m.size || offset < -(int64_t)m.size) return -1;
    int64_t to = base + offset;
    if (to < 0 || to > (int64_t)m.size) return -1;
    m.pos = (size_t)to;
    return 0;
}

long memoryTell(void* source) { return (long)((MemorySource*)source)->pos; }

// Grows the clip's sample block to hold `frames` frames.
void reserveFrames(AudioClip& clip, int64_t& capacity, int64_t frames) {
    if (frames <= capacity) return;
    int64_t grown = capacity < 65536 ? 65536 : capacity * 2;
    if (grown < frames) grown = frames;
    float* more = (float*)Base.BS_MemGet((size_t)grown * (size_t)clip.channels * sizeof(float), "Audio clip");
    if (clip.samples) memcpy(more, clip.samples, (size_t)clip.frames * (size_t)clip.channels * sizeof(float));
    void* old = clip.samples;
    Base.BS_MemFree(&old);
    clip.samples = more;
    capacity = grown;
}

const long kStreamSerial = 0x564C4D52;  // fixed, so two encodings of the same music match
const int32_t kChunk = 1024;            // frames handed to the encoder at a time

}  // namespace

bool vorbisRead(const uint8_t* data, size_t size, double maxSeconds, AudioClip& clip, std::string& why) {
    clip = AudioClip{};
    MemorySource source{data, size, 0};
    ov_callbacks callbacks{memoryRead, memorySeek, nullptr, memoryTell};
    OggVorbis_File vf;
    int rc = ov_open_callbacks(&source, &vf, nullptr, 0, callbacks);
    if (rc < 0) {
        why = rc == OV_ENOTVORBIS ? "not an Ogg Vorbis file" : "damaged Ogg Vorbis file";
        return false;
    }
    vorbis_info* vi = ov_info(&vf, -1);
    if (!vi || vi->channels < 1 || vi->channels > AudioMaxChannels || vi->rate < 1000 || vi->rate > 768000) {
        ov_clear(&vf);
        why = "Ogg Vorbis stream with an unusable channel count or sample rate";
        return false;
    }
    clip.channels = vi->channels;
    clip.rate = (int32_t)vi->rate;
    int64_t maxFrames = maxSeconds < 0 ? -1 : (int64_t)std::ceil(maxSeconds * clip.rate);
    int64_t capacity = 0;
    ogg_int64_t total = ov_pcm_total(&vf, -1);
    // The length comes from the last page and may lie: reserve no more than
    // ten minutes up front and grow past that only as samples arrive.
    const int64_t kTrustedFrames = (int64_t)clip.rate * 600;
    if (maxFrames >= 0 && total > maxFrames) total = maxFrames;
    if (total > 0) reserveFrames(clip, capacity, total < kTrustedFrames ? total : kTrustedFrames);
    bool ok = true;
    while (maxFrames < 0 || clip.frames < maxFrames) {
        float** pcm = nullptr;
        int link = 0;
        long n = ov_read_float(&vf, &pcm, 4096, &link);
        if (n == 0) break;
        if (n == OV_HOLE) continue;  // a gap in the data: go on after it
        if (n < 0) {
            why = "damaged Ogg Vorbis stream";
            ok = false;
            break;
        }
        vorbis_info* li = ov_info(&vf, link);
        if (!li || li->channels != clip.channels || li->rate != clip.rate) {
            why = "chained Ogg Vorbis streams of different formats are not read";
            ok = false;
            break;
        }
        if (maxFrames >= 0 && n > maxFrames - clip.frames) n = (long)(maxFrames - clip.frames);
        reserveFrames(clip, capacity, clip.frames + n);
        float* out = clip.samples + (size_t)clip.frames * (size_t)clip.channels;
        for (long i = 0; i < n; ++i)
            for (int32_t c = 0; c < clip.channels; ++c) {
                float x = pcm[c][i];
                *out++ = x > 1 ? 1 : x < -1 ? -1 : x == x ? x : 0;
            }
        clip.frames += n;
    }
    ov_clear(&vf);
    if (!ok) audioFree(clip);
    return ok;
}

bool audioRead(const std::string& file, double maxSeconds, AudioClip& clip, std::string& why) {
    const uint8_t* d = (const uint8_t*)file.data();
    if (file.size() >= 12 && memcmp(d, "RIFF", 4) == 0 && memcmp(d + 8, "WAVE", 4) == 0)
        return wavRead(d, file.size(), maxSeconds, clip, why);
    if (file.size() >= 4 && memcmp(d, "OggS", 4) == 0) return vorbisRead(d, file.size(), maxSeconds, clip, why);
    clip = AudioClip{};
    why = "not an Ogg Vorbis or WAV file";
    return false;
}

struct VorbisWriterState {
    vorbis_info vi;
    vorbis_comment vc;
    vorbis_dsp_state vd;
    vorbis_block vb;
    ogg_stream_state os;
    int32_t channels;
    // The encoder's choices depend on how much it is given at a time: it
    // always gets whole chunks, so the file does not depend on the caller's
    // blocks.
    float* pending;  // kChunk frames, interleaved
    int32_t pendingFrames;
};

namespace {

void drainPages(VorbisWriter& w, bool flush) {
    VorbisWriterState& s = *w.state;
    ogg_page page;
    while (flush ? ogg_stream_flush(&s.os, &page) : ogg_stream_pageout(&s.os, &page)) {
        w.out.append((const char*)page.header, (size_t)page.header_len);
        w.out.append((const char*)page.body, (size_t)page.body_len);
    }
}

void drainBlocks(VorbisWriter& w) {
    VorbisWriterState& s = *w.state;
    while (vorbis_analysis_blockout(&s.vd, &s.vb) == 1) {
        vorbis_analysis(&s.vb, nullptr);
        vorbis_bitrate_addblock(&s.vb);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&s.vd, &packet)) {
            ogg_stream_packetin(&s.os, &packet);
            drainPages(w, false);
        }
    }
}

}  // namespace

void vorbisWriterStart(VorbisWriter& w, int32_t channels, int32_t rate) {
    w.out.clear();
    w.state = (VorbisWriterState*)Base.BS_MemGet(sizeof(VorbisWriterState), "Vorbis writer");
    VorbisWriterState& s = *w.state;
    s.channels = channels;
    s.pending = (float*)Base.BS_MemGet(sizeof(float) * kChunk * (size_t)channels, "Vorbis writer");
    vorbis_info_init(&s.vi);
    vorbis_encode_init_vbr(&s.vi, channels, rate, VorbisQuality);
    vorbis_comment_init(&s.vc);
    vorbis_comment_add_tag(&s.vc, "ENCODER", "velmar music");
    vorbis_analysis_init(&s.vd, &s.vi);
    vorbis_block_init(&s.vd, &s.vb);
    ogg_stream_init(&s.os, (int)kStreamSerial);
    ogg_packet id, comments, codebooks;
    vorbis_analysis_headerout(&s.vd, &s.vc, &id, &comments, &codebooks);
    ogg_stream_packetin(&s.os, &id);
    ogg_stream_packetin(&s.os, &comments);
    ogg_stream_packetin(&s.os, &codebooks);
    drainPages(w, true);  // the audio starts on a page of its own
}

namespace {

void encodePending(VorbisWriter& w) {
    VorbisWriterState& s = *w.state;
    if (s.pendingFrames == 0) return;
    float** buffer = vorbis_analysis_buffer(&s.vd, s.pendingFrames);
    for (int32_t i = 0; i < s.pendingFrames; ++i)
        for (int32_t c = 0; c < s.channels; ++c) buffer[c][i] = s.pending[(size_t)i * s.channels + c];
    vorbis_analysis_wrote(&s.vd, s.pendingFrames);
    s.pendingFrames = 0;
    drainBlocks(w);
}

}  // namespace

void vorbisWriterPush(VorbisWriter& w, const float* samples, int32_t frames) {
    VorbisWriterState& s = *w.state;
    while (frames > 0) {
        int32_t n = kChunk - s.pendingFrames;
        if (n > frames) n = frames;
        memcpy(s.pending + (size_t)s.pendingFrames * s.channels, samples, sizeof(float) * (size_t)n * s.channels);
        s.pendingFrames += n;
        if (s.pendingFrames == kChunk) encodePending(w);
        samples += (size_t)n * s.channels;
        frames -= n;
    }
}

void vorbisWriterFinish(VorbisWriter& w) {
    VorbisWriterState& s = *w.state;
    encodePending(w);
    vorbis_analysis_wrote(&s.vd, 0);
    drainBlocks(w);
    drainPages(w, true);
    ogg_stream_clear(&s.os);
    vorbis_block_clear(&s.vb);
    vorbis_dsp_clear(&s.vd);
    vorbis_comment_clear(&s.vc);
    vorbis_info_clear(&s.vi);
    void* p = s.pending;
    Base.BS_MemFree(&p);
    p = w.state;
    Base.BS_MemFree(&p);
    w.state = nullptr;
}
