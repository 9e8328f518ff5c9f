// Particles: the random spread, the pool, the step (spawn, draw, move) and
// how power changes a particle's look.
#include <charconv>
#include <chrono>
#include <set>

#include "draw_helpers.h"

extern "C" size_t BS_MemLabelBytes(const char* label) __attribute__((weak));

namespace {

std::string F(float v) {  // as the recording GL writes a float
    char b[32];
    return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

struct Particles : DrawTrace {
    int32_t emitter = -1;
    Lines last;
    void SetUp() override {
        DrawTrace::SetUp();
        seedParticleRandom(ParticleRandomSeed);
        emitter = AddTriangle(s, AddMaterial(s));
        sbEmitter(s, emitter, EmitterSettings{"", 1, 10, 1, 2, {0, 0, 0}, {0, 0, 0}, {0.8f, 0.4f, 0.2f}, {0, 0, 0}, 0});
        s.objects[emitter].particleglname = 5;
        FinishScene(s);
        lookFrom({0, 0, 10});  // straight down: R = (-1, 0, 0), U = (0, 1, 0)
    }
    void lookFrom(Vector eye) {
        SetCameraTracks(s, {{0, eye}}, {{0, {0, 0, 0}}});
        setupCamera(s, 0);
        take();
    }
    SceneObject& em() { return s.objects[emitter]; }
    int live() {
        return (int)std::count_if(s.particles, s.particles + s.particlecount, [](auto& p) { return !p.free; });
    }
    std::vector<float> steps() {
        std::vector<float> v;
        for (int32_t i = 0; i < s.particlecount; ++i) v.push_back(s.particles[i].step.x);
        return v;
    }
    int step(float time = 0) {  // one step; the sprites it drew
        runParticles(s, time);
        return Count(last = take(), "glBegin(GL_TRIANGLE_STRIP)");
    }
};

TEST_F(Particles, TheGeneratorRepeatsFromASeedAndTheSpreadCoversMinusHalfToJustUnderHalfInSteps) {
    std::vector<int32_t> a, b;
    for (auto* run : {&a, &b}) {
        seedParticleRandom(42);
        for (int i = 0; i < 100000; ++i) run->push_back(particleRandom(10));
    }
    EXPECT_EQ(a, b);
    for (int32_t v = 0; v < 10; ++v) EXPECT_NEAR(std::count(a.begin(), a.end(), v), 10000, 500) << v;
    EXPECT_EQ(particleRandom(0) + particleRandom(-4) + particleRandom(1), 0);
    std::set<float> seen;
    for (int i = 0; i < 200000; ++i) seen.insert(spreadValue(2.0f, 1.0f));
    EXPECT_EQ(seen.size(), 10000u);  // whole steps of 0.0001
    EXPECT_EQ(std::pair(*seen.begin(), *seen.rbegin()), std::pair(1.5f, (float)(2.0 + 4999.0 / 10000.0)));
    seen.clear();  // 0.0003 x 10000 -> 3 values, 0.0003 x 5000 -> 2 below the mean
    for (int i = 0; i < 1000; ++i) seen.insert(spreadValue(0, 0.0003f));
    EXPECT_EQ(seen, (std::set<float>{-0.0002f, -0.0001f, 0.0f}));
    for (float nothing : {0.0f, -3.0f, NAN}) EXPECT_EQ(spreadValue(0.3f, nothing), 0.3f) << nothing;
    EXPECT_TRUE(std::isfinite(spreadValue(1, 1e30f)));
}

TEST_F(Particles, ThePoolAndTheStepWithoutPoolSpriteAxesOrEmitter) {
    const char* stateOnly = "glDisable(GL_CULL_FACE); glEnable(GL_DEPTH_TEST); glDepthMask(GL_FALSE); "
        "glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE); glEnable(GL_TEXTURE_2D); glDepthMask(GL_TRUE)";
    auto bytes = [] { return BS_MemLabelBytes ? BS_MemLabelBytes("trace particle info ") : 0; };
    allocParticles(s, 40);
    allocParticles(s, 7);  // a second pool replaces the first
    EXPECT_EQ(std::pair(bytes(), live()), std::pair(7 * sizeof(Particle), 0));  // all free
    freeParticles(s);
    EXPECT_TRUE(s.particlecount == 0 && s.particles == nullptr && bytes() == 0);
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(Joined(last), stateOnly);
    allocParticles(s, -5);
    EXPECT_EQ(s.particlecount, 0);
    allocParticles(s, 10);
    em().deltavector = {1, 0, 0};
    EXPECT_EQ(step(), 1);
    lookFrom({0, -10, 0});  // along Y: no sprite axes, nothing spawns, draws or moves
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(Joined(last), stateOnly);
    EXPECT_EQ(std::pair(s.particles[0].position.x, s.particles[0].power), std::pair(1.0f, 9.0f));
    EXPECT_EQ(live(), 1);
    lookFrom({0, 0, 10});
    s.particles[0].owner = 77;  // its emitter is gone: freed, not drawn
    em().newparticle = 0;
    EXPECT_EQ(step() + live(), 0);
}

TEST_F(Particles, SpawnedAtPivotPlusTrackDrawnThenMovedAndFreeAfterPowerRunsOut) {
    allocParticles(s, 10);
    em().deltavector = {1, 0, 0}, em().rotation = {90, 0, 0} /* not applied */, em().pivot = {1, 2, 3};
    em().colorattrib = 16;
    sbObjectTrack(s, emitter, {{0, {0, 0, 0}}, {10, {10, 0, -10}}});
    EXPECT_EQ(step(5), 1);
    EXPECT_EQ(std::pair(s.particles[0].owner, (int)s.particles[0].colorattrib), std::pair(emitter, 16));
    em().newparticle = 0;
    // At (6, 2, -2): the diamond of half-size 2 around it, with the emitter's texture.
    EXPECT_EQ(Joined(last, 6, 18), "glBindTexture(GL_TEXTURE_2D, 5); glColor3f(0.8, 0.4, 0.2); "
              "glBegin(GL_TRIANGLE_STRIP); glTexCoord2f(0, 0); glVertex3f(8, 2, -2); glTexCoord2f(1, 0); "
              "glVertex3f(6, 0, -2); glTexCoord2f(0, 1); glVertex3f(6, 4, -2); glTexCoord2f(1, 1); "
              "glVertex3f(4, 2, -2); glEnd()");
    for (int call = 2; call <= 10; ++call) {  // power 10 losing 1: ten draws
        EXPECT_EQ(step(), 1) << call;
        EXPECT_EQ(Find(last, "glVertex3f(" + F(8.0f + (call - 1)) + ", 2, -2)"), 10) << call;
    }
    EXPECT_EQ(live() + step(), 0);
}

// Guards a huge newparticle making the step run for ever.
TEST_F(Particles, AFullPoolReplacesTheLastSlotAndHugeCountsEnd) {
    allocParticles(s, 3);
    em().deltapower = 0;  // never dies
    for (float call : {1, 2, 3, 4}) {
        em().deltavector = {call, 0, 0};  // tells the particles apart
        step();
    }
    EXPECT_EQ(steps(), (std::vector<float>{1, 2, 4}));
    s.particles[0].free = 1;  // the first free slot is taken, wherever it is
    em().deltavector = {9, 0, 0};
    step();
    EXPECT_EQ(steps(), (std::vector<float>{9, 2, 4}));
    // Many at once into a small pool: the later emitter's particle ends in
    // the last slot; the pool stays exactly full.
    int32_t second = AddTriangle(s, 0);
    sbEmitter(s, second, EmitterSettings{"", 1, 10, 0, 2, {-7, 0, 0}, {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 0});
    allocParticles(s, 3);
    em().newparticle = 5, em().deltavector = {5, 0, 0};
    step();
    EXPECT_EQ(steps(), (std::vector<float>{5, 5, -7}));
    EXPECT_EQ(std::pair(s.particles[1].owner, s.particles[2].owner), std::pair(emitter, second));
    em().newparticle = 2000000000;
    auto start = std::chrono::steady_clock::now();
    step();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(live(), 3);
}

TEST_F(Particles, ColourAndSizeFollowThePowerRatioBitByBit) {
    const float f = 0.75f, g = 0.25f;  // power 7.5 of 10
    const struct {
        uint8_t attrib;
        std::vector<float> colourScales;  // each glColor3f after the first
        float size;
    } cases[] = {
        {0, {}, 2},     {1, {f}, 2},    {2, {}, 2 * f},  {3, {f}, 2 * f},   {4, {g}, 2},
        {5, {f, g}, 2}, {8, {}, 2 * g}, {10, {}, 2 * g}, {12, {g}, 2 * g}, {15, {f, g}, 2 * g},
    };
    for (const auto& c : cases) {
        allocParticles(s, 2);
        em().colorattrib = c.attrib, em().deltapower = 2.5f, em().newparticle = 1;
        step();
        em().newparticle = 0;
        step();
        std::string want = "glBindTexture(GL_TEXTURE_2D, 5); glColor3f(0.8, 0.4, 0.2); ";
        for (float k : c.colourScales)
            want += "glColor3f(" + F(0.8f * k) + ", " + F(0.4f * k) + ", " + F(0.2f * k) + "); ";
        want += "glBegin(GL_TRIANGLE_STRIP); glTexCoord2f(0, 0); glVertex3f(" + F(c.size) + ", 0, 0)";
        EXPECT_EQ(Joined(last, 6, 11 + c.colourScales.size()), want) << (int)c.attrib;
    }
}

// Guards NaN colours and sizes from an emitter of power 0 and a NaN power keeping its particle.
TEST_F(Particles, AnEmitterOfPowerZeroOrNaNSpreadsNoNaN) {
    allocParticles(s, 4);
    em().power = 0, em().colorattrib = 15, em().deltapower = 0.5f;
    EXPECT_EQ(step(), 1);
    std::string all = Joined(last);
    EXPECT_TRUE(all.find("nan") == all.npos && all.find("inf") == all.npos) << all;
    EXPECT_EQ(live(), 0);  // power 0 - 0.5: done after its one draw
    em().power = 10, em().colorattrib = 3;  // the emitter's power drops to 0 while its particles live: ratio 0
    step();
    em().power = 0, em().newparticle = 0;
    step();
    EXPECT_EQ(std::pair(Find(last, "glColor3f(0, 0, 0)"), Find(last, "glVertex3f(0, 0, 0)")), std::pair(8, 11));
    EXPECT_FALSE(std::isnan(s.particles[0].power) || std::isnan(s.particles[0].position.x));
    em().power = NAN, em().newparticle = 1;
    step();
    EXPECT_EQ(live(), 1);  // the earlier one (power 8) lives on, the new one ends
}

}  // namespace
