#include "loudness.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "../../frame/base.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

// Four bands per decade: 20 × 10^(b/4) Hz.
const float LoudnessBandEdges[LoudnessBands + 1] = {20.0f,   35.566f,  63.246f,  112.468f, 200.0f,
                                                    355.656f, 632.456f, 1124.68f, 2000.0f,  3556.56f,
                                                    6324.56f, 11246.8f, 20000.0f};

namespace {

const float kSilence = 1e-4f;     // RMS below -80 dB full scale reads 0
const float kMaxStretch = 0.01f;  // a band's reference is at least -40 dB below the loudest band's
const double kPercentile = 0.99;
const double kPi = 3.14159265358979323846;

// Radix-2 complex FFT in place; `n` a power of two, tables made by fftTables.
struct Fft {
    int32_t n;
    float* cosTable;  // n/2 each
    float* sinTable;
    int32_t* reversed;  // n
};

void fftTables(Fft& f, int32_t n) {
    f.n = n;
    f.cosTable = (float*)Base.BS_MemGet(sizeof(float) * (size_t)n, "Loudness FFT");
    f.sinTable = f.cosTable + n / 2;
    f.reversed = (int32_t*)Base.BS_MemGet(sizeof(int32_t) * (size_t)n, "Loudness FFT");
    for (int32_t i = 0; i < n / 2; ++i) {
        double a = -2.0 * kPi * i / n;
        f.cosTable[i] = (float)std::cos(a);
        f.sinTable[i] = (float)std::sin(a);
    }
    int32_t bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int32_t i = 0; i < n; ++i) {
        int32_t r = 0;
        for (int32_t b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        f.reversed[i] = r;
    }
}

void fftFree(Fft& f) {
    void* p = f.cosTable;
    Base.BS_MemFree(&p);
    p = f.reversed;
    Base.BS_MemFree(&p);
}

void fftRun(const Fft& f, float* re, float* im) {
    int32_t n = f.n;
    for (int32_t i = 0; i < n; ++i) {
        int32_t j = f.reversed[i];
        if (j > i) std::swap(re[i], re[j]), std::swap(im[i], im[j]);
    }
    for (int32_t size = 2; size <= n; size *= 2) {
        int32_t half = size / 2, stride = n / size;
        for (int32_t start = 0; start < n; start += size)
            for (int32_t k = 0; k < half; ++k) {
                float c = f.cosTable[k * stride], s = f.sinTable[k * stride];
                int32_t a = start + k, b = a + half;
                float tr = re[b] * c - im[b] * s;
                float ti = re[b] * s + im[b] * c;
                re[b] = re[a] - tr, im[b] = im[a] - ti;
                re[a] += tr, im[a] += ti;
            }
    }
}

// How much of FFT bin j falls in each band: bins are `width` Hz wide and
// centred on j × width; a band takes the share of each bin it overlaps.
struct BandBins {
    int32_t first[LoudnessBands], last[LoudnessBands];
    float* share;  // [band][bin], bins 0..n/2
};

void bandBins(BandBins& bb, int32_t n, int32_t rate) {
    int32_t bins = n / 2 + 1;
    bb.share = (float*)Base.BS_MemGet(sizeof(float) * (size_t)bins * LoudnessBands, "Loudness bands");
    double width = (double)rate / n;
    for (int32_t b = 0; b < LoudnessBands; ++b) {
        double lo = LoudnessBandEdges[b], hi = LoudnessBandEdges[b + 1];
        bb.first[b] = bins, bb.last[b] = -1;
        for (int32_t j = 1; j < bins; ++j) {
            double a = std::max(lo, (j - 0.5) * width), z = std::min(hi, (j + 0.5) * width);
            if (z <= a) continue;
            bb.share[(size_t)b * bins + j] = (float)((z - a) / width);
            bb.first[b] = std::min(bb.first[b], j);
            bb.last[b] = std::max(bb.last[b], j);
        }
    }
}

}  // namespace

int64_t loudnessValueFrame(int64_t k, int32_t rate) { return k * rate * 10 / 441; }

int32_t loudnessWindow(int32_t rate) {
    int32_t n = 256;
    while (n < 32768 && n < rate / 25) n *= 2;  // at least 40 ms
    return n;
}

void loudnessAnalyse(const AudioClip& clip, LoudnessTable& table, void (*progress)(int32_t percent)) {
    memset(&table, 0, sizeof table);
    int32_t rate = clip.rate > 0 ? clip.rate : 44100;
    int32_t used = 0;
    while (used < LoudnessValues && loudnessValueFrame(used, rate) < clip.frames) ++used;
    table.used = used;
    if (used == 0 || clip.channels < 1 || !clip.samples) {
        if (progress) progress(100);
        return;
    }
    int32_t n = loudnessWindow(rate);
    Fft fft;
    fftTables(fft, n);
    BandBins bb;
    bandBins(bb, n, rate);
    float* work = (float*)Base.BS_MemGet(sizeof(float) * (size_t)n * 3, "Loudness window");
    float* window = work + 2 * (size_t)n;
    double windowPower = 0;
    for (int32_t i = 0; i < n; ++i) {
        window[i] = (float)(0.5 - 0.5 * std::cos(2.0 * kPi * i / n));
        windowPower += (double)window[i] * window[i];
    }
    // Full-scale sine → RMS 0.707: power over the window's own energy.
    double scale = 2.0 / ((double)n * windowPower);
    float* rms = (float*)Base.BS_MemGet(sizeof(float) * (size_t)used * LoudnessBands, "Loudness levels");
    int32_t bins = n / 2 + 1;
    float mix = 1.0f / (float)clip.channels;
    int32_t lastPercent = -1;
    for (int32_t k = 0; k < used; ++k) {
        float* re = work;
        float* im = work + n;
        int64_t start = loudnessValueFrame(k, rate) - n / 2;
        for (int32_t i = 0; i < n; ++i) {
            int64_t f = start + i;
            float x = 0;
            if (f >= 0 && f < clip.frames) {
                const float* s = clip.samples + (size_t)f * (size_t)clip.channels;
                for (int32_t c = 0; c < clip.channels; ++c) x += s[c];
                x *= mix;
            }
            re[i] = x * window[i];
            im[i] = 0;
        }
        fftRun(fft, re, im);
        for (int32_t b = 0; b < LoudnessBands; ++b) {
            double power = 0;
            const float* share = bb.share + (size_t)b * bins;
            for (int32_t j = bb.first[b]; j <= bb.last[b]; ++j)
                power += (double)share[j] * ((double)re[j] * re[j] + (double)im[j] * im[j]);
            rms[(size_t)b * used + k] = (float)std::sqrt(power * scale);
        }
        int32_t percent = (int32_t)((int64_t)(k + 1) * 100 / used);
        if (progress && percent != lastPercent) progress(lastPercent = percent);
    }
    // Each band's 99th percentile reads 255.
    float* sorted = (float*)Base.BS_MemGet(sizeof(float) * (size_t)used, "Loudness levels");
    float loudest = 0;
    for (int32_t b = 0; b < LoudnessBands; ++b) {
        memcpy(sorted, rms + (size_t)b * used, sizeof(float) * (size_t)used);
        size_t at = (size_t)(kPercentile * (used - 1));
        std::nth_element(sorted, sorted + at, sorted + used);
        table.reference[b] = sorted[at];
        loudest = std::max(loudest, sorted[at]);
    }
    for (int32_t b = 0; b < LoudnessBands; ++b) {
        float ref = std::max(std::max(table.reference[b], loudest * kMaxStretch), kSilence);
        table.reference[b] = ref;
        for (int32_t k = 0; k < used; ++k) {
            float v = rms[(size_t)b * used + k];
            table.values[b][k] = v < kSilence ? 0 : (uint8_t)std::lround(std::min(255.0f, 255.0f * v / ref));
        }
    }
    void* p = sorted;
    Base.BS_MemFree(&p);
    p = rms;
    Base.BS_MemFree(&p);
    p = work;
    Base.BS_MemFree(&p);
    p = bb.share;
    Base.BS_MemFree(&p);
    fftFree(fft);
}

std::string loudnessBytes(const LoudnessTable& table) {
    return std::string((const char*)&table.values[0][0], (size_t)LoudnessTableBytes);
}

namespace {

struct Rgb {
    uint8_t r, g, b;
};

// Band colours from red (low) through yellow, green and blue to violet (high).
Rgb bandColour(int32_t b) {
    float h = 300.0f * b / (LoudnessBands - 1);  // hue in degrees
    float x = 1.0f - std::fabs(std::fmod(h / 60.0f, 2.0f) - 1.0f);
    float r = 0, g = 0, bl = 0;
    switch ((int32_t)(h / 60.0f)) {
    case 0: r = 1, g = x; break;
    case 1: r = x, g = 1; break;
    case 2: g = 1, bl = x; break;
    case 3: g = x, bl = 1; break;
    default: r = x, bl = 1; break;
    }
    return Rgb{(uint8_t)(60 + 195 * r), (uint8_t)(60 + 195 * g), (uint8_t)(60 + 195 * bl)};
}

void appendBytes(void* context, void* data, int size) { ((std::string*)context)->append((const char*)data, (size_t)size); }

}  // namespace

std::string loudnessPixels(const LoudnessTable& table, int32_t& width, int32_t& height) {
    const int32_t bandHeight = 48, gap = 4;
    int32_t columns = table.used > 0 ? table.used : 1;
    int32_t scale = std::clamp(1200 / columns, 1, 8);
    width = columns * scale, height = LoudnessBands * (bandHeight + gap);
    std::string pixels((size_t)width * height * 3, '\0');
    auto put = [&](int32_t x, int32_t y, Rgb c) {
        uint8_t* p = (uint8_t*)&pixels[((size_t)y * width + x) * 3];
        p[0] = c.r, p[1] = c.g, p[2] = c.b;
    };
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) put(x, y, Rgb{16, 16, 24});
    // A line at every second, brighter every ten, on the first value at or
    // after it (value k is at k × 10 ÷ 441 s).
    for (int32_t s = 1;; ++s) {
        int64_t k = ((int64_t)s * 441 + 9) / 10;
        if (k >= columns) break;
        Rgb c = s % 10 == 0 ? Rgb{110, 110, 130} : Rgb{48, 48, 60};
        for (int32_t y = 0; y < height; ++y) put((int32_t)k * scale, y, c);
    }
    for (int32_t b = 0; b < LoudnessBands; ++b) {
        Rgb c = bandColour(b);
        int32_t base = height - 1 - gap / 2 - b * (bandHeight + gap);  // band 0 at the bottom
        for (int32_t k = 0; k < table.used; ++k) {
            int32_t h = (table.values[b][k] * bandHeight + 127) / 255;
            for (int32_t dx = 0; dx < scale; ++dx)
                for (int32_t dy = 0; dy < h; ++dy) put(k * scale + dx, base - dy, c);
        }
        for (int32_t x = 0; x < width; ++x) put(x, base + 1, Rgb{70, 70, 80});
    }
    return pixels;
}

std::string loudnessPng(const LoudnessTable& table) {
    int32_t width = 0, height = 0;
    std::string pixels = loudnessPixels(table, width, height);
    std::string png;
    stbi_write_png_to_func(appendBytes, &png, width, height, 3, pixels.data(), width * 3);
    return png;
}
