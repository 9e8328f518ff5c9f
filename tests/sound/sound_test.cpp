// The music: the Vorbis decoder module and the sound system over OpenAL
// Soft's null device.
#include <gtest/gtest.h>

#include <cmath>

#include "frame/wm.h"
#include "sound/sound.h"
#include "support/support.h"
#include "tools/synth/audio.h"

namespace {

struct SoundTest : ::testing::Test {
    std::string dir = MakeTempDir("sound"), file = dir + "/music.ogg";
    WmSettings settings{};
    void SetUp() override {
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("VELMAR_MODULE_VORBIS", (ModuleDir() + "/Vorbis.so").c_str(), 1);
        Audio = AudioState{};
        Window.settings = &settings;
        Registry = SubsystemRegistry{};
        SoundRegister();
        for (int slot : {5, 6}) Registry.init.slot[slot].proc();
    }
    void TearDown() override {
        for (int slot : {7, 6, 5}) Registry.exit.slot[slot].proc();
        Window = WindowState{};
        RemoveTree(dir);
    }
    // Channel c a sine at c + 1 times the pitch.
    void music(int channels, int rate, float seconds) {
        std::vector<float> s((size_t)(rate * seconds) * channels);
        for (size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(0.05f * (i / channels) * (i % channels + 1));
        VorbisWriter w{};
        vorbisWriterStart(w, channels, rate);
        vorbisWriterPush(w, s.data(), (int32_t)(s.size() / channels));
        vorbisWriterFinish(w);
        WriteFile(file, w.out);
    }
};

TEST_F(SoundTest, TheDecoderGivesSixteenBitSamplesOfTheFrontPairOrItsMean) {
    auto q = [](float x) { return (int16_t)lrintf(x * 32767.0f); };
    for (int channels : {1, 2, 4}) {
        music(channels, 22050, 0.25f);
        std::string why;
        AudioClip clip{};
        ASSERT_TRUE(audioRead(ReadFileText(file), -1, clip, why)) << why;
        for (int out : {2, 1}) {
            VorbisStream* s = Vorbis.v_open(file.c_str());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(Vorbis.v_size(s), clip.frames * 4);
            Vorbis.v_read_channels(s, out);
            std::vector<int16_t> want;
            for (const float* f = clip.samples; f < clip.samples + clip.frames * channels; f += channels)
                if (out == 2) want.insert(want.end(), {q(f[0]), q(f[channels > 1])});
                else want.push_back(q(channels > 1 ? 0.5f * (f[0] + f[1]) : f[0]));
            EXPECT_EQ(std::vector<int16_t>(s->samples, s->samples + s->size / 2), want) << channels << "/" << out;
            Vorbis.v_close(s);
        }
        audioFree(clip);
    }
}

TEST_F(SoundTest, TheMusicPlaysLoopingOnOneSourceAndShutsDownOnceAndNotAtAllSwitchedOff) {
    ThrowOnFailure guard;
    music(2, 44100, 0.25f);
    sndLoadMusic(S(file));
    ASSERT_TRUE(Audio.audioReady);
    sndPlayMusic();
    ALint got[6] = {};
    AL.alGetBufferi(Audio.buffer, AL_SIZE, &got[0]);
    AL.alGetSourcei(Audio.source, AL_LOOPING, &got[1]);
    AL.alGetSourcei(Audio.source, AL_SOURCE_STATE, &got[2]);
    AL.alGetSourcei(Audio.source, AL_BUFFER, &got[3]);
    AL.alcGetIntegerv(Audio.device, ALC_FREQUENCY, 1, &got[4]);
    sndStopMusic();
    AL.alGetSourcei(Audio.source, AL_SOURCE_STATE, &got[5]);
    EXPECT_EQ(std::vector<ALint>(got, got + 6),
              std::vector<ALint>({11025 * 4, 1, AL_PLAYING, (ALint)Audio.buffer, 44100, AL_STOPPED}));
    ALfloat listener[7] = {};
    AL.alGetListenerfv(AL_ORIENTATION, listener);
    AL.alGetListenerf(AL_GAIN, &listener[6]);
    EXPECT_EQ(std::vector<ALfloat>(listener, listener + 7), std::vector<ALfloat>({0, 0, -1, 0, 1, 0, 1}));
    sndShutdown();
    sndShutdown();  // the exit procedure's second call finds nothing to do
    EXPECT_TRUE(!AL.alcGetCurrentContext() && !Audio.music);
    settings.soundoff = 1;
    Audio = AudioState{};
    sndLoadMusic(S(dir + "/nothing-here.ogg"));  // no file needed
    sndPlayMusic();
    EXPECT_TRUE(!Audio.audioReady && !Audio.device);
}

// Author mode: the music follows the clock (wrapped at its length), holds
// while paused and can be replaced in place; a bad file keeps the old one.
TEST_F(SoundTest, TheMusicSeeksPausesAndIsReplacedAtTheClocksPosition) {
    ThrowOnFailure guard;
    music(2, 44100, 0.25f);
    sndLoadMusic(S(file));
    sndPlayMusic();
    auto state = [] {
        ALint offset = -1, playing = 0, size = 0;
        AL.alGetSourcei(Audio.source, 0x1025, &offset);  // AL_SAMPLE_OFFSET
        AL.alGetSourcei(Audio.source, AL_SOURCE_STATE, &playing);
        AL.alGetBufferi(Audio.buffer, AL_SIZE, &size);
        return std::vector<ALint>{offset, playing == AL_PAUSED, size};
    };
    sndPauseMusic(true);
    sndSeekMusic(100);
    EXPECT_EQ(state(), (std::vector<ALint>{4410, 1, 11025 * 4}));
    sndSeekMusic(300);  // 13230 frames into a loop of 11025
    EXPECT_EQ(state(), (std::vector<ALint>{2205, 1, 11025 * 4}));
    std::string why, first = file;
    file = dir + "/other.ogg";
    music(1, 22050, 0.4f);
    ASSERT_TRUE(sndReloadMusic(S(file), 100, true, &why)) << why;
    EXPECT_EQ(state(), (std::vector<ALint>{2205, 1, 8820 * 4}));  // 22050 Hz, doubled to stereo
    EXPECT_FALSE(sndReloadMusic(S(first + ".missing"), 0, true, &why));
    EXPECT_EQ(why, "not an Ogg Vorbis file the decoder can read");
    EXPECT_EQ(state(), (std::vector<ALint>{2205, 1, 8820 * 4}));
    sndPauseMusic(false);
    EXPECT_EQ(state()[1], 0);
    sndShutdown();
}

}  // namespace
