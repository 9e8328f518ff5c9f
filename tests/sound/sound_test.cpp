// The music: the Vorbis decoder module and the sound system over OpenAL
// Soft's null device.
#include <gtest/gtest.h>

#include <cmath>

#include "frame/wm.h"
#include "sound/sound.h"
#include "support/support.h"
#include "tools/synth/audio.h"

namespace {

std::string Ogg(int channels, int rate, float seconds) {
    int frames = (int)(rate * seconds);
    std::vector<float> s((size_t)frames * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) s[(size_t)i * channels + c] = 0.3f * std::sin(0.05f * i * (c + 1));
    VorbisWriter w{};
    vorbisWriterStart(w, channels, rate);
    vorbisWriterPush(w, s.data(), frames);
    vorbisWriterFinish(w);
    return w.out;
}

struct SoundTest : ::testing::Test {
    std::string dir;
    WmSettings settings{};
    void SetUp() override {
        dir = MakeTempDir("sound");
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("VELMAR_MODULE_VORBIS", (ModuleDir() + "/Vorbis.so").c_str(), 1);
        Audio = AudioState{};
        Window = WindowState{};
        Window.settings = &settings;
    }
    void TearDown() override {
        sndShutdown();
        Window = WindowState{};
        if (AL.handle) Base.BS_DlClose(AL.handle);
        if (Vorbis.handle) Base.BS_DlClose(Vorbis.handle);
        AL = OpenALFunctions{};
        Vorbis = VorbisModule{};
        RemoveTree(dir);
    }
    void bind() {
        Registry = SubsystemRegistry{};
        SoundRegister();
        Registry.init.slot[5].proc();
        Registry.init.slot[6].proc();
    }
};

TEST_F(SoundTest, TheDecoderAlwaysDeliversSixteenBitStereo) {
    bind();
    WriteFile(dir + "/mono.ogg", Ogg(1, 22050, 0.5f));
    VorbisStream* s = Vorbis.v_open((dir + "/mono.ogg").c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->rate, 22050);
    EXPECT_EQ(Vorbis.v_size(s), 11025 * 4);
    Vorbis.v_read(s);
    EXPECT_EQ(s->size, 11025 * 4);
    // Mono comes out in both channels.
    bool same = true, loud = false;
    for (int i = 0; i < 11025; ++i) {
        same = same && s->samples[2 * i] == s->samples[2 * i + 1];
        loud = loud || std::abs(s->samples[2 * i]) > 5000;
    }
    EXPECT_TRUE(same);
    EXPECT_TRUE(loud);
    Vorbis.v_close(s);
    EXPECT_EQ(Vorbis.v_open((dir + "/none.ogg").c_str()), nullptr);
    WriteFile(dir + "/bad.ogg", "OggS this is not a stream");
    EXPECT_EQ(Vorbis.v_open((dir + "/bad.ogg").c_str()), nullptr);
}

TEST_F(SoundTest, TheMusicPlaysLoopingOnOneSourceAndShutsDownOnce) {
    bind();
    WriteFile(dir + "/music.ogg", Ogg(2, 44100, 0.25f));
    sndLoadMusic(S(dir + "/music.ogg"));
    ASSERT_TRUE(Audio.audioReady);
    ALint size = 0;
    AL.alGetBufferi(Audio.buffer, AL_SIZE, &size);
    EXPECT_EQ(size, 11025 * 4);
    sndPlayMusic();
    ALint looping = 0, state = 0, buffer = 0;
    AL.alGetSourcei(Audio.source, AL_LOOPING, &looping);
    AL.alGetSourcei(Audio.source, AL_SOURCE_STATE, &state);
    AL.alGetSourcei(Audio.source, AL_BUFFER, &buffer);
    EXPECT_EQ(looping, 1);
    EXPECT_EQ(state, AL_PLAYING);
    EXPECT_EQ((ALuint)buffer, Audio.buffer);
    ALfloat gain = 0;
    AL.alGetListenerf(AL_GAIN, &gain);
    EXPECT_EQ(gain, 1.0f);
    sndStopMusic();
    AL.alGetSourcei(Audio.source, AL_SOURCE_STATE, &state);
    EXPECT_EQ(state, AL_STOPPED);
    sndShutdown();
    EXPECT_EQ(AL.alcGetCurrentContext(), nullptr);
    sndShutdown();  // the exit procedure's second call finds nothing to do
    EXPECT_EQ(Audio.music, nullptr);
}

TEST_F(SoundTest, SoundSwitchedOffDoesNothingAndNeedsNoFile) {
    bind();
    settings.soundoff = 1;
    sndLoadMusic(S(dir + "/nothing-here.ogg"));
    sndPlayMusic();
    sndStopMusic();
    sndShutdown();
    EXPECT_FALSE(Audio.audioReady);
    EXPECT_EQ(Audio.device, nullptr);
}

TEST_F(SoundTest, FailuresGetTheirMessages) {
    ThrowOnFailure guard;
    bind();
    try {
        sndLoadMusic(S(dir + "/missing.ogg"));
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailFatalStop);
        EXPECT_EQ(f.message, "Music not found. ");
    }
    setenv("VELMAR_MODULE_VORBIS", "/nonexistent/Vorbis.so", 1);
    try {
        Registry.init.slot[6].proc();
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.message, "Ogg Vorbis decoder not found. Please reinstall this software.");
    }
    setenv("VELMAR_MODULE_OPENAL32", "/nonexistent/libopenal.so", 1);
    try {
        Registry.init.slot[5].proc();
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.message, " OpenAL32 not found. Please reinstall this software.");
    }
    unsetenv("VELMAR_MODULE_OPENAL32");
}

TEST_F(SoundTest, RegistrationsTakeSlotsFiveSixAndSeven) {
    Registry = SubsystemRegistry{};
    SoundRegister();
    EXPECT_TRUE(Registry.init.slot[5].name == "OpenAL ...");
    EXPECT_TRUE(Registry.exit.slot[5].name == "Uninit OpenAL ...");
    EXPECT_TRUE(Registry.init.slot[6].name == "Vorbis ...");
    EXPECT_TRUE(Registry.exit.slot[6].name == "Uninit Vorbis ...");
    EXPECT_EQ(Registry.init.slot[7].inuse, 0);
    EXPECT_TRUE(Registry.exit.slot[7].name == "Uninit sound system ...");
    Registry = SubsystemRegistry{};
}

}  // namespace
