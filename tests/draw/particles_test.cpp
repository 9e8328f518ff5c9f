// Particles: the random spread, the pool, the step (spawn, draw, move) and
// how power changes a particle's look.
#include <charconv>
#include <cmath>
#include <map>
#include <set>

#include "draw_fixture.h"

extern "C" size_t BS_MemLabelBytes(const char* label) __attribute__((weak));

namespace {

using Lines = std::vector<std::string>;

size_t LabelBytes(const std::string& label) { return BS_MemLabelBytes ? BS_MemLabelBytes(label.c_str()) : 0; }

// How the recording GL writes a float.
std::string F(float v) {
    char b[32];
    auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

struct Particles : DrawTrace {
    int32_t emitter = -1;
    void SetUp() override {
        DrawTrace::SetUp();
        seedParticleRandom(ParticleRandomSeed);
        // Looking straight down: R = (-1, 0, 0), U = (0, 1, 0).
        SetCameraTracks(s, {{0, {0, 0, 10}}}, {{0, {0, 0, 0}}});
        emitter = AddTriangle(s, AddMaterial(s));
        SceneObject& o = s.objects[emitter];
        o.particleenabled = true;
        o.particleglname = 5;
        o.power = 10, o.deltapower = 1, o.newparticle = 1, o.size = 2;
        o.color = {0.8f, 0.4f, 0.2f};
        FinishScene(s);
        setupCamera(s, 0);
        take();
    }
    SceneObject& em() { return s.objects[emitter]; }
    int live() {
        int n = 0;
        for (int32_t i = 0; i < s.particlecount; ++i) n += !s.particles[i].free;
        return n;
    }
    // One step; the sprites it drew.
    int step(float time = 0) {
        runParticles(s, time);
        return CountPrefix(last = take(), "glBegin(GL_TRIANGLE_STRIP)");
    }
    Lines last;
};

TEST_F(Particles, SpreadOfZeroIsTheMeanAndOfOneCoversMinusHalfToJustUnderHalf) {
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(spreadValue(0.3f, 0), 0.3f);
    float lo = 1e9f, hi = -1e9f;
    for (int i = 0; i < 200000; ++i) {
        float v = spreadValue(2.0f, 1.0f);
        lo = std::fmin(lo, v), hi = std::fmax(hi, v);
        double steps = ((double)v - 2.0) * 10000.0;  // whole steps of 0.0001
        ASSERT_NEAR(steps, std::nearbyint(steps), 1e-2) << v;
    }
    EXPECT_EQ(lo, 1.5f);
    EXPECT_EQ(hi, (float)(2.0 + 4999.0 / 10000.0));
    // 0.0003 x 10000 -> 3 values, 0.0003 x 5000 -> 2 below the mean.
    std::set<float> seen;
    for (int i = 0; i < 1000; ++i) seen.insert(spreadValue(0, 0.0003f));
    EXPECT_EQ(seen, (std::set<float>{-0.0002f, -0.0001f, 0.0f}));
    // Nothing to spread.
    EXPECT_EQ(spreadValue(1, -3), 1.0f);
    EXPECT_EQ(spreadValue(1, NAN), 1.0f);
    EXPECT_TRUE(std::isfinite(spreadValue(1, 1e30f)));
}

TEST_F(Particles, TheGeneratorIsUniformAndRepeatsFromASeed) {
    std::map<int, int> counts;
    for (int i = 0; i < 100000; ++i) {
        int32_t v = particleRandom(10);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 10);
        counts[v]++;
    }
    for (auto& [v, n] : counts) EXPECT_NEAR(n, 10000, 500) << v;
    EXPECT_EQ(counts.size(), 10u);
    EXPECT_EQ(particleRandom(0), 0);
    EXPECT_EQ(particleRandom(-4), 0);
    EXPECT_EQ(particleRandom(1), 0);
    seedParticleRandom(42);
    std::vector<int32_t> a, b;
    for (int i = 0; i < 50; ++i) a.push_back(particleRandom(1000000));
    seedParticleRandom(42);
    for (int i = 0; i < 50; ++i) b.push_back(particleRandom(1000000));
    EXPECT_EQ(a, b);
    EXPECT_NE(std::set<int32_t>(a.begin(), a.end()).size(), 1u);
}

TEST_F(Particles, ThePoolIsLabelledAllFreeAndGivenBack) {
    s.name = S("kard");
    allocParticles(s, 40);
    EXPECT_EQ(s.particlecount, 40);
    EXPECT_EQ(LabelBytes("kard particle info "), 40 * sizeof(Particle));
    EXPECT_EQ(live(), 0);
    allocParticles(s, 7);  // a second pool replaces the first
    EXPECT_EQ(LabelBytes("kard particle info "), 7 * sizeof(Particle));
    freeParticles(s);
    EXPECT_EQ(s.particlecount, 0);
    EXPECT_EQ(s.particles, nullptr);
    EXPECT_EQ(LabelBytes("kard particle info "), 0u);
    // Without a pool: the state, and nothing spawned or drawn.
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(last.size(), 7u);
    allocParticles(s, -5);
    EXPECT_EQ(s.particlecount, 0);
    EXPECT_EQ(step(), 0);
}

TEST_F(Particles, StateAndNoSpriteAxesMeansNothingSpawnsDrawsOrMoves) {
    allocParticles(s, 10);
    em().deltavector = {1, 0, 0};
    EXPECT_EQ(step(), 1);
    Vector before = s.particles[0].position;
    SetCameraTracks(s, {{0, {0, -10, 0}}}, {{0, {0, 0, 0}}});  // along Y
    setupCamera(s, 0);
    take();
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(last, (Lines{"glDisable(GL_CULL_FACE)", "glEnable(GL_DEPTH_TEST)", "glDepthMask(GL_FALSE)",
                           "glEnable(GL_BLEND)", "glBlendFunc(GL_ONE, GL_ONE)", "glEnable(GL_TEXTURE_2D)",
                           "glDepthMask(GL_TRUE)"}));
    EXPECT_EQ(live(), 1);
    EXPECT_EQ(s.particles[0].position.x, before.x);
    EXPECT_EQ(s.particles[0].power, 9.0f);
}

TEST_F(Particles, PowerTenLosingOneIsDrawnInTenCallsAndFreeAfterTheTenth) {
    allocParticles(s, 10);
    em().pivot = {1, 2, 3};
    em().deltavector = {1, 0, 0};
    EXPECT_EQ(step(), 1);
    em().newparticle = 0;
    // Drawn where it was spawned, then moved; the sprite is the diamond of
    // half-size 2 around it, textured by the emitter's texture.
    EXPECT_EQ(Slice(last, 6, 18),
              (Lines{"glBindTexture(GL_TEXTURE_2D, 5)", "glColor3f(0.8, 0.4, 0.2)", "glBegin(GL_TRIANGLE_STRIP)",
                     "glTexCoord2f(0, 0)", "glVertex3f(3, 2, 3)", "glTexCoord2f(1, 0)", "glVertex3f(1, 0, 3)",
                     "glTexCoord2f(0, 1)", "glVertex3f(1, 4, 3)", "glTexCoord2f(1, 1)", "glVertex3f(-1, 2, 3)",
                     "glEnd()"}));
    for (int call = 2; call <= 10; ++call) {
        EXPECT_EQ(step(), 1) << call;
        EXPECT_EQ(Find(last, "glVertex3f(" + F(3.0f + (call - 1)) + ", 2, 3)"), 10) << call;
    }
    EXPECT_EQ(live(), 0);
    EXPECT_EQ(step(), 0);
}

TEST_F(Particles, SpawnsAtThePivotPlusTrackWithoutRotation) {
    allocParticles(s, 4);
    em().pivot = {1, 2, 3};
    em().rotation = {90, 0, 0};
    SetObjectTrack(s, emitter, {{0, {0, 0, 0}}, {10, {10, 0, -10}}});
    step(5);
    EXPECT_EQ(s.particles[0].position.x, 6.0f);
    EXPECT_EQ(s.particles[0].position.y, 2.0f);
    EXPECT_EQ(s.particles[0].position.z, -2.0f);
    EXPECT_EQ(s.particles[0].owner, emitter);
    EXPECT_EQ(s.particles[0].colorattrib, em().colorattrib);
    EXPECT_EQ(s.particles[0].deltapower, 1.0f);
}

TEST_F(Particles, AFullPoolReplacesTheLastSlot) {
    allocParticles(s, 3);
    em().deltapower = 0;  // never dies
    for (int call = 1; call <= 4; ++call) {
        em().deltavector = {(float)call, 0, 0};  // tells the particles apart
        step();
    }
    EXPECT_EQ(live(), 3);
    EXPECT_EQ(s.particles[0].step.x, 1.0f);
    EXPECT_EQ(s.particles[1].step.x, 2.0f);
    EXPECT_EQ(s.particles[2].step.x, 4.0f);
    // The first free slot is taken, wherever it is.
    s.particles[0].free = 1;
    em().deltavector = {9, 0, 0};
    step();
    EXPECT_EQ(s.particles[0].step.x, 9.0f);
    EXPECT_EQ(s.particles[2].step.x, 4.0f);

    // Many at once into a small pool: the later emitter's particle ends in
    // the last slot; the pool stays exactly full.
    int32_t second = AddTriangle(s, 0);
    SceneObject& o2 = s.objects[second];
    o2.particleenabled = true;
    o2.power = 10, o2.deltapower = 0, o2.newparticle = 1, o2.size = 2;
    o2.deltavector = {-7, 0, 0};
    allocParticles(s, 3);
    em().newparticle = 5;
    em().deltavector = {5, 0, 0};
    step();
    EXPECT_EQ(live(), 3);
    EXPECT_EQ(s.particles[1].owner, emitter);
    EXPECT_EQ(s.particles[2].owner, second);
    EXPECT_EQ(s.particles[2].step.x, -7.0f);
    // A huge count does not make the step run for ever.
    em().newparticle = 2000000000;
    step();
    EXPECT_EQ(live(), 3);
}

TEST_F(Particles, ColourAndSizeFollowThePowerRatioBitByBit) {
    struct Case {
        uint8_t attrib;
        std::vector<float> colourScales;  // each glColor3f after the first
        float size;
    };
    const float f = 0.75f, g = 0.25f;  // power 7.5 of 10
    const Case cases[] = {
        {0, {}, 2},         {1, {f}, 2},    {2, {}, 2 * f},     {3, {f}, 2 * f},    {4, {g}, 2},
        {5, {f, g}, 2},     {8, {}, 2 * g}, {10, {}, 2 * g},    {12, {g}, 2 * g},   {15, {f, g}, 2 * g},
    };
    for (const Case& c : cases) {
        allocParticles(s, 2);
        em().colorattrib = c.attrib;
        em().deltapower = 2.5f;
        em().newparticle = 1;
        step();
        em().newparticle = 0;
        step();
        Vector col = {0.8f, 0.4f, 0.2f};
        Lines want = {"glBindTexture(GL_TEXTURE_2D, 5)", "glColor3f(0.8, 0.4, 0.2)"};
        for (float k : c.colourScales)
            want.push_back("glColor3f(" + F(col.x * k) + ", " + F(col.y * k) + ", " + F(col.z * k) + ")");
        want.push_back("glBegin(GL_TRIANGLE_STRIP)");
        want.push_back("glTexCoord2f(0, 0)");
        want.push_back("glVertex3f(" + F(c.size) + ", 0, 0)");
        EXPECT_EQ(Slice(last, 6, 6 + want.size()), want) << (int)c.attrib;
    }
}

TEST_F(Particles, AnEmitterOfPowerZeroSpreadsNoNaN) {
    allocParticles(s, 4);
    em().power = 0;
    em().colorattrib = 15;
    em().deltapower = 0.5f;
    EXPECT_EQ(step(), 1);
    for (const std::string& l : last) {
        EXPECT_EQ(l.find("nan"), std::string::npos) << l;
        EXPECT_EQ(l.find("inf"), std::string::npos) << l;
    }
    EXPECT_EQ(live(), 0);  // power 0 - 0.5: done after its one draw
    // The emitter's power drops to 0 while its particles live: ratio 0.
    em().power = 10;
    em().colorattrib = 3;
    step();
    em().power = 0;
    em().newparticle = 0;
    step();
    EXPECT_EQ(Find(last, "glColor3f(0, 0, 0)"), 8);
    EXPECT_EQ(Find(last, "glVertex3f(0, 0, 0)"), 11);  // size 0
    for (int32_t i = 0; i < s.particlecount; ++i) {
        EXPECT_FALSE(std::isnan(s.particles[i].power));
        EXPECT_FALSE(std::isnan(s.particles[i].position.x));
    }
    // A power that is not a number ends the particle instead of keeping it.
    em().power = NAN;
    em().newparticle = 1;
    step();
    EXPECT_EQ(live(), 1);  // the earlier one (power 8) lives on
}

TEST_F(Particles, AParticleWhoseEmitterIsGoneIsFreed) {
    allocParticles(s, 4);
    em().deltapower = 0;
    step();
    s.particles[0].owner = 77;
    em().newparticle = 0;
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(live(), 0);
}

}  // namespace
