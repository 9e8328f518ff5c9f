// WAV files: our own small reader and writer (no outside library).
#include <cmath>
#include <cstring>

#include "../../frame/base.h"
#include "audio.h"

namespace {

inline uint32_t le16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
inline uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

inline void put16(std::string& s, uint32_t v) {
    s += (char)(v & 0xff);
    s += (char)((v >> 8) & 0xff);
}
inline void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

const uint32_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

// Float samples may go past full scale; they are clipped like the
// integer ones are by their range (and NaN is silence).
inline float clipped(double x) { return x > 1 ? 1.0f : x < -1 ? -1.0f : x == x ? (float)x : 0.0f; }

// One sample at `p` as a float -1..1.
float sampleAt(const uint8_t* p, uint32_t format, uint32_t bits) {
    if (format == kFloat) {
        if (bits == 32) {
            uint32_t u = le32(p);
            float f;
            memcpy(&f, &u, 4);
            return clipped(f);
        }
        uint64_t u = (uint64_t)le32(p) | (uint64_t)le32(p + 4) << 32;
        double d;
        memcpy(&d, &u, 8);
        return clipped(d);
    }
    switch (bits) {
    case 8: return ((int32_t)p[0] - 128) / 128.0f;
    case 16: return (float)(int16_t)le16(p) / 32768.0f;
    case 24: return (float)((int32_t)(((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16) << 8) >> 8) / 8388608.0f;
    default: return (float)(int32_t)le32(p) / 2147483648.0f;
    }
}

}  // namespace

void audioFree(AudioClip& clip) {
    void* p = clip.samples;
    Base.BS_MemFree(&p);
    clip = AudioClip{};
}

bool wavRead(const uint8_t* data, size_t size, double maxSeconds, AudioClip& clip, std::string& why) {
    clip = AudioClip{};
    if (size < 12 || memcmp(data, "RIFF", 4) != 0 || memcmp(data + 8, "WAVE", 4) != 0) {
        why = "not a WAV file";
        return false;
    }
    const uint8_t* fmt = nullptr;
    uint32_t fmtSize = 0;
    size_t dataPos = 0, dataSize = 0;
    bool haveData = false;
    size_t pos = 12;
    while (size - pos >= 8) {
        const uint8_t* id = data + pos;
        uint64_t chunk = le32(data + pos + 4);
        size_t body = pos + 8;
        size_t avail = size - body;
        if (memcmp(id, "fmt ", 4) == 0 && !fmt) {
            if (chunk < 16 || chunk > avail) {
                why = "WAV format chunk is cut short";
                return false;
            }
            fmt = data + body;
            fmtSize = (uint32_t)chunk;
        } else if (memcmp(id, "data", 4) == 0 && !haveData) {
            // Writers that stream often leave the size too large: read what is there.
            haveData = true;
            dataPos = body;
            dataSize = chunk > avail ? avail : (size_t)chunk;
        }
        uint64_t next = (uint64_t)body + chunk + (chunk & 1);
        if (next > size) break;
        pos = (size_t)next;
    }
    if (!fmt) {
        why = "WAV file has no format chunk";
        return false;
    }
    if (!haveData) {
        why = "WAV file has no data chunk";
        return false;
    }
    uint32_t format = le16(fmt), channels = le16(fmt + 2), rate = le32(fmt + 4);
    uint32_t blockAlign = le16(fmt + 12), bits = le16(fmt + 14);
    if (format == kExtensible) {
        if (fmtSize < 26) {
            why = "WAV extensible format without its sub-format";
            return false;
        }
        format = le16(fmt + 24);
    }
    bool known = (format == kPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
                 (format == kFloat && (bits == 32 || bits == 64));
    if (!known) {
        why = "unsupported WAV encoding (format " + std::to_string(format) + ", " + std::to_string(bits) +
              " bits): PCM 8/16/24/32-bit or float 32/64-bit";
        return false;
    }
    if (channels < 1 || channels > (uint32_t)AudioMaxChannels) {
        why = "WAV file with " + std::to_string(channels) + " channels (1 to 16 are read)";
        return false;
    }
    if (rate < 1000 || rate > 768000) {
        why = "WAV sample rate " + std::to_string(rate) + " Hz is out of range";
        return false;
    }
    if (blockAlign != channels * (bits / 8)) {
        why = "WAV block size does not match its channels and bits";
        return false;
    }
    int64_t frames = (int64_t)(dataSize / blockAlign);
    if (maxSeconds >= 0 && (double)frames > std::ceil(maxSeconds * rate)) frames = (int64_t)std::ceil(maxSeconds * rate);
    clip.rate = (int32_t)rate;
    clip.channels = (int32_t)channels;
    clip.frames = frames;
    if (frames > 0) {
        size_t count = (size_t)frames * channels;
        clip.samples = (float*)Base.BS_MemGet(count * sizeof(float), "Audio clip");
        const uint8_t* p = data + dataPos;
        uint32_t bytes = bits / 8;
        for (size_t i = 0; i < count; ++i, p += bytes) clip.samples[i] = sampleAt(p, format, bits);
    }
    return true;
}

std::string wavHeader(int64_t frames, int32_t channels, int32_t rate) {
    uint64_t bytes = (uint64_t)frames * (uint64_t)channels * 2;
    std::string s;
    s += "RIFF";
    put32(s, (uint32_t)(36 + bytes));
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, kPcm);
    put16(s, (uint32_t)channels);
    put32(s, (uint32_t)rate);
    put32(s, (uint32_t)rate * (uint32_t)channels * 2);
    put16(s, (uint32_t)channels * 2);
    put16(s, 16);
    s += "data";
    put32(s, (uint32_t)bytes);
    return s;
}

void wavAppend(std::string& out, const float* samples, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        float x = samples[i];
        x = x > 1 ? 1 : x < -1 ? -1 : x == x ? x : 0;
        put16(out, (uint32_t)(uint16_t)(int16_t)std::lrint(x * 32767.0f));
    }
}
