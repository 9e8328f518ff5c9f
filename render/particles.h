// particles.h - particle emitters: each scene's pool of particles and the
// step that spawns, draws and moves them.
//
// Any object with `particleenabled` emits. A scene's pool (`particles`,
// `particlecount`) is a block of the Base module's memory owned by this
// unit; one runParticles call is one step for every emitter of the scene:
// new particles at each emitter, every live one drawn as an additive
// camera-facing sprite, then moved. Random values come from the unit's own
// generator, which starts from a fixed seed (same run, same particles);
// seedParticleRandom restarts it.
#pragma once

#include <cstdint>

#include "../scene/scene.h"

// One slot of a pool.
struct Particle {
    uint8_t free;         // 1: slot free, 0: live particle
    Vector position;
    Vector colour;
    Vector step;          // added to the position after each draw
    uint8_t colorattrib;  // copied from the emitter at spawn
    float power;          // current power
    float deltapower;     // power lost per step, copied at spawn
    int32_t owner;        // index of the emitting object
};

// Bits of `colorattrib`: how the power ratio f = power / emitter power
// changes a particle's look. A later bit overrides an earlier one of the
// same kind (colour or size).
enum ParticleLook {
    ParticleFadeOut = 1,  // colour x f
    ParticleShrink = 2,   // size x f
    ParticleFadeIn = 4,   // colour x (1 - f)
    ParticleGrow = 8,     // size x (1 - f)
};

// A pool of `count` free slots, labelled "<scene name> particle info ". A
// pool the scene already had is given back first.
void allocParticles(Scene& scene, int32_t count);

// Gives the pool back; the scene then has none (particlecount 0).
void freeParticles(Scene& scene);

// Frees every slot of the pool (a jump in time: no particle of another
// moment stays); the pool keeps its size.
void emptyParticles(Scene& scene);

// One step: spawn, draw and move (needs the frame's camera: a preceding
// drawScene). `time` only places the emitters on their tracks.
void runParticles(Scene& scene, float time);

// base + (random(nearest(spread x 10000)) - nearest(spread x 5000)) / 10000:
// within base - spread/2 ... base + spread/2 in steps of 0.0001. A spread
// that is negative or not a number counts as 0.
float spreadValue(float base, float spread);

// The generator: a uniform whole number in 0 ... n - 1 (0 when n <= 0).
int32_t particleRandom(int32_t n);
void seedParticleRandom(uint64_t seed);
const uint64_t ParticleRandomSeed = 0x5eed0fa11c1e5ULL;  // at start-up
