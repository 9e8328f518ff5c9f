// Audio files: our WAV reader and writer, Ogg Vorbis decode and encode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "support/support.h"
#include "synth_helpers.h"

namespace {

void Put16(std::string& s, uint32_t v) { s += (char)(v & 0xff), s += (char)(v >> 8 & 0xff); }
void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xffff), Put16(s, v >> 16); }

// A WAV file by hand: format chunk fields, then `data` as given.
std::string Wav(uint32_t format, uint32_t channels, uint32_t rate, uint32_t bits, const std::string& data,
                uint32_t blockAlign = 0, int dataSizeClaim = -1, bool extensible = false) {
    if (!blockAlign) blockAlign = channels * bits / 8;
    std::string fmt;
    Put16(fmt, extensible ? 0xFFFE : format);
    Put16(fmt, channels);
    Put32(fmt, rate);
    Put32(fmt, rate * blockAlign);
    Put16(fmt, blockAlign);
    Put16(fmt, bits);
    if (extensible) {
        Put16(fmt, 22);
        Put16(fmt, bits);
        Put32(fmt, 3);
        Put16(fmt, format);  // the sub-format GUID begins with the format number
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string s = "RIFF";
    Put32(s, 0);
    s += "WAVE";
    s += "LIST";  // a chunk readers must skip, with an odd size and its pad byte
    Put32(s, 3);
    s += std::string("abc\0", 4);
    s += "fmt ";
    Put32(s, (uint32_t)fmt.size());
    s += fmt;
    s += "data";
    Put32(s, dataSizeClaim >= 0 ? (uint32_t)dataSizeClaim : (uint32_t)data.size());
    s += data;
    return s;
}

struct Read {
    bool ok;
    AudioClip clip;
    std::string why;
    std::vector<float> samples() const { return std::vector<float>(clip.samples, clip.samples + clip.frames * clip.channels); }
    ~Read() { audioFree(clip); }
};
std::unique_ptr<Read> ReadWav(const std::string& file, double maxSeconds = -1) {
    auto r = std::make_unique<Read>();
    r->ok = wavRead((const uint8_t*)file.data(), file.size(), maxSeconds, r->clip, r->why);
    return r;
}

TEST(Wav, EverySampleEncodingReadsToTheSameValues) {
    // -1, -0.5, 0, 0.5 in each encoding, as two stereo frames.
    std::string u8 = std::string("\x00\x40\x80\xC0", 4);
    std::string s16;
    for (int v : {-32768, -16384, 0, 16384}) Put16(s16, (uint32_t)(uint16_t)v);
    std::string s24;
    for (int v : {-8388608, -4194304, 0, 4194304}) s24 += std::string((const char*)&v, 3);
    std::string s32;
    for (int64_t v : {-2147483648LL, -1073741824LL, 0LL, 1073741824LL}) Put32(s32, (uint32_t)v);
    std::string f32, f64;
    for (float v : {-1.0f, -0.5f, 0.0f, 0.5f}) f32 += std::string((const char*)&v, 4);
    for (double v : {-1.0, -0.5, 0.0, 0.5}) f64 += std::string((const char*)&v, 8);
    struct Case {
        std::string file;
        const char* what;
    } cases[] = {
        {Wav(1, 2, 8000, 8, u8), "pcm8"},      {Wav(1, 2, 8000, 16, s16), "pcm16"},
        {Wav(1, 2, 8000, 24, s24), "pcm24"},   {Wav(1, 2, 8000, 32, s32), "pcm32"},
        {Wav(3, 2, 8000, 32, f32), "float32"}, {Wav(3, 2, 8000, 64, f64), "float64"},
        {Wav(1, 2, 8000, 16, s16, 0, -1, true), "extensible pcm16"},
        {Wav(3, 2, 8000, 32, f32, 0, -1, true), "extensible float32"},
    };
    for (const Case& c : cases) {
        auto r = ReadWav(c.file);
        ASSERT_TRUE(r->ok) << c.what << ": " << r->why;
        EXPECT_EQ(r->clip.rate, 8000) << c.what;
        EXPECT_EQ(r->clip.channels, 2) << c.what;
        EXPECT_EQ(r->clip.frames, 2) << c.what;
        EXPECT_EQ(r->samples(), (std::vector<float>{-1, -0.5f, 0, 0.5f})) << c.what;
    }
}

TEST(Wav, WriterAndReaderAgree) {
    std::vector<float> in = {0, 0.25f, -0.25f, 1, -1, 2, -2, 0.5f, NAN, 0};  // out of range is clipped, NaN silent
    std::string file = wavHeader(5, 2, 44100);
    EXPECT_EQ(file.size(), 44u);
    wavAppend(file, in.data(), (int64_t)in.size());
    EXPECT_EQ(file.size(), 44u + 20u);
    auto r = ReadWav(file);
    ASSERT_TRUE(r->ok) << r->why;
    EXPECT_EQ(r->clip.rate, 44100);
    EXPECT_EQ(r->clip.frames, 5);
    std::vector<float> want = {0, 0.25f, -0.25f, 1, -1, 1, -1, 0.5f, 0, 0};
    std::vector<float> got = r->samples();
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1.0 / 32767) << i;
}

TEST(Wav, TruncatedAndLyingFilesReadAsFarAsTheyGo) {
    std::string s16;
    for (int i = 0; i < 100; ++i) Put16(s16, (uint32_t)(i * 100));
    // The data chunk claims a million bytes; 100 samples are there, and a cut-off half sample.
    auto r = ReadWav(Wav(1, 1, 22050, 16, s16 + "\x01", 0, 1000000));
    ASSERT_TRUE(r->ok) << r->why;
    EXPECT_EQ(r->clip.frames, 100);
    EXPECT_NEAR(r->clip.samples[99], 9900 / 32768.0, 1e-6);
    // A limit in seconds: 100 frames at 22050 Hz is 4.5 ms.
    r = ReadWav(Wav(1, 1, 22050, 16, s16), 0.001);
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->clip.frames, 23);  // 22.05 frames, rounded up
    // No samples at all is a WAV file of no length.
    r = ReadWav(Wav(1, 2, 44100, 16, ""));
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->clip.frames, 0);
    EXPECT_EQ(r->clip.samples, nullptr);
}

TEST(Wav, FaultsAreReportedNotRead) {
    std::string s16(8, '\0');
    std::string good = Wav(1, 2, 44100, 16, s16);
    std::string noFmt = good;
    memcpy(&noFmt[24], "fmX ", 4);
    std::string cutFmt = good.substr(0, 40);  // the header whole, 8 of its 16 bytes
    std::string noData = good.substr(0, good.size() - 16);
    struct Case {
        std::string file;
        const char* says;
    } cases[] = {
        {"", "not a WAV file"},
        {std::string("RIFF\0\0\0\0WAVX", 12), "not a WAV file"},
        {"RIFF", "not a WAV file"},
        {std::string("RIFF\0\0\0\0WAVE", 12), "no format chunk"},
        {noFmt, "no format chunk"},
        {cutFmt, "format chunk is cut short"},
        {noData, "no data chunk"},
        {Wav(2, 2, 44100, 4, s16, 2), "unsupported WAV encoding (format 2, 4 bits)"},
        {Wav(1, 2, 44100, 12, s16, 4), "unsupported WAV encoding"},
        {Wav(3, 2, 44100, 16, s16), "unsupported WAV encoding (format 3, 16 bits)"},
        {Wav(1, 0, 44100, 16, s16, 2), "0 channels"},
        {Wav(1, 17, 44100, 16, s16), "17 channels"},
        {Wav(1, 2, 100, 16, s16), "sample rate 100 Hz"},
        {Wav(1, 2, 44100, 16, s16, 3), "block size"},
        {Wav(1, 2, 44100, 16, s16, 8), "block size"},
    };
    for (const Case& c : cases) {
        auto r = ReadWav(c.file);
        EXPECT_FALSE(r->ok) << c.says;
        EXPECT_NE(r->why.find(c.says), std::string::npos) << r->why;
        EXPECT_EQ(r->clip.samples, nullptr);
    }
    // Every cut of a good file is read or refused, never read past.
    std::string whole = Wav(1, 2, 44100, 24, std::string(60, '\x11'));
    for (size_t n = 0; n <= whole.size(); ++n) {
        std::string cut = whole.substr(0, n);
        std::vector<uint8_t> exact(cut.begin(), cut.end());  // no slack after the bytes
        AudioClip clip{};
        std::string why;
        if (wavRead(exact.data(), exact.size(), -1, clip, why)) { EXPECT_LE(clip.frames * 6, (int64_t)n); }
        audioFree(clip);
    }
}

TEST(Vorbis, EncodingIsRepeatableAndDecodesBackToTheMusic) {
    // One second of a 440 Hz tone, left only, then right only.
    std::vector<float> pcm(2 * 44100);
    for (size_t f = 0; f < 44100; ++f) pcm[2 * f + (f < 22050 ? 0 : 1)] = 0.5f * std::sin(2 * M_PI * 440 * f / 44100.0);
    auto encode = [&](int32_t block) {
        VorbisWriter w{};
        vorbisWriterStart(w, 2, 44100);
        for (size_t at = 0; at < 44100; at += (size_t)block)
            vorbisWriterPush(w, pcm.data() + 2 * at, (int32_t)std::min<size_t>((size_t)block, 44100 - at));
        vorbisWriterFinish(w);
        return w.out;
    };
    std::string a = encode(4096), b = encode(4096), c = encode(1000);
    EXPECT_TRUE(a == b) << "two encodings differ";
    EXPECT_TRUE(a == c) << "the block size changed the encoding";  // how the samples arrive does not matter
    ASSERT_GT(a.size(), 1000u);
    EXPECT_EQ(a.substr(0, 4), "OggS");

    AudioClip clip{};
    std::string why;
    ASSERT_TRUE(audioRead(a, -1, clip, why)) << why;
    EXPECT_EQ(clip.rate, 44100);
    EXPECT_EQ(clip.channels, 2);
    EXPECT_EQ(clip.frames, 44100);  // no samples added or lost at either end
    std::vector<float> back(clip.samples, clip.samples + 2 * clip.frames);
    EXPECT_NEAR(Rms(back, 2000, 20000, 0), 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_LT(Rms(back, 2000, 20000, 1), 0.01);
    EXPECT_NEAR(Rms(back, 24000, 42000, 1), 0.5 / std::sqrt(2.0), 0.02);
    audioFree(clip);
    // A limit in seconds stops the decoding there.
    ASSERT_TRUE(audioRead(a, 0.25, clip, why)) << why;
    EXPECT_EQ(clip.frames, 11025);
    audioFree(clip);
}

TEST(Vorbis, DamagedStreamsAreRefusedOrReadInPart) {
    std::vector<float> pcm(2 * 44100, 0.1f);
    VorbisWriter w{};
    vorbisWriterStart(w, 2, 44100);
    vorbisWriterPush(w, pcm.data(), 44100);
    vorbisWriterFinish(w);
    std::string good = w.out;
    AudioClip clip{};
    std::string why;
    EXPECT_FALSE(audioRead("OggS and then nothing of use", -1, clip, why));
    EXPECT_NE(why.find("Ogg Vorbis"), std::string::npos) << why;
    EXPECT_FALSE(audioRead("ID3\x03 an mp3 perhaps", -1, clip, why));
    EXPECT_EQ(why, "not an Ogg Vorbis or WAV file");
    EXPECT_FALSE(audioRead("", -1, clip, why));
    // Cut anywhere, or with bytes overwritten: read in part or refused, never harmed.
    for (size_t n : {(size_t)4, good.size() / 10, good.size() / 2, good.size() - 1}) {
        bool ok = audioRead(good.substr(0, n), -1, clip, why);
        if (ok) { EXPECT_LE(clip.frames, 44100); }
        audioFree(clip);
    }
    std::string scribbled = good;
    for (size_t i = scribbled.size() / 3; i < scribbled.size() / 3 + 200; ++i) scribbled[i] = (char)(i * 7);
    if (audioRead(scribbled, -1, clip, why)) { EXPECT_LE(clip.frames, 44100); }
    audioFree(clip);
}

}  // namespace
