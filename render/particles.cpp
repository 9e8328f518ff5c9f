#include "particles.h"

#include <cmath>
#include <string>

#include "../frame/frame.h"
#include "../glbind/glbind.h"
#include "scenedraw.h"
#include "scenedraw_internal.h"

namespace {

uint64_t randomState = ParticleRandomSeed;

// splitmix64: small, fast, and every seed gives a full-quality sequence.
uint64_t nextRandom() {
    uint64_t z = (randomState += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// nearest(x) with ties to even, for the spread's steps; 0 for NaN or less.
double nearestSteps(double x) {
    if (!(x > 0)) return 0;
    if (x > 2147483647.0) x = 2147483647.0;
    return std::nearbyint(x);
}

// Power left as a share of the emitter's current power. An emitter whose
// power is 0 (or not a number) gives 0, not a NaN or infinite colour/size.
float powerRatio(float power, float emitterPower) {
    if (emitterPower == 0) return 0;
    float f = power / emitterPower;
    return std::isfinite(f) ? f : 0;
}

void spawn(Particle& p, const SceneObject& o, int32_t owner, Vector origin) {
    p.free = 0;
    p.colorattrib = o.colorattrib;
    p.power = o.power;
    p.deltapower = o.deltapower;
    p.owner = owner;
    p.position = origin;
    p.colour.x = spreadValue(o.color.x, o.colorspread.x);
    p.colour.y = spreadValue(o.color.y, o.colorspread.y);
    p.colour.z = spreadValue(o.color.z, o.colorspread.z);
    p.step.x = spreadValue(o.deltavector.x, o.deltavectorspread.x);
    p.step.y = spreadValue(o.deltavector.y, o.deltavectorspread.y);
    p.step.z = spreadValue(o.deltavector.z, o.deltavectorspread.z);
}

void spawnAll(Scene& scene, float time) {
    Particle* pool = scene.particles;
    int32_t count = scene.particlecount;
    // Spawning only fills slots, so the first free slot never moves back:
    // one cursor serves every new particle of the call.
    int32_t cursor = 0;
    for (int32_t i = 0; i < scene.objectcount; ++i) {
        const SceneObject& o = scene.objects[i];
        if (!o.particleenabled) continue;
        Vector origin = vecAdd(o.pivot, trackOffset(o, time));
        for (int32_t k = 0; k < o.newparticle; ++k) {
            while (cursor < count && !pool[cursor].free) ++cursor;
            if (cursor < count) {
                spawn(pool[cursor], o, i, origin);
                continue;
            }
            // Full: each further particle replaces the last slot's, so only
            // the last one of this emitter stays.
            spawn(pool[count - 1], o, i, origin);
            break;
        }
    }
}

void drawAndMove(Scene& scene, Vector r, Vector u) {
    for (int32_t s = 0; s < scene.particlecount; ++s) {
        Particle& p = scene.particles[s];
        if (p.free) continue;
        const SceneObject* o = sceneObjectAt(scene, p.owner);
        if (!o) {  // its emitter is gone
            p.free = 1;
            continue;
        }
        GL.glBindTexture(GL_TEXTURE_2D, o->particleglname);
        float size = o->size;
        GL.glColor3f(p.colour.x, p.colour.y, p.colour.z);
        float f = powerRatio(p.power, o->power), g = 1 - f;
        if (p.colorattrib & ParticleFadeOut) GL.glColor3f(p.colour.x * f, p.colour.y * f, p.colour.z * f);
        if (p.colorattrib & ParticleShrink) size = o->size * f;
        if (p.colorattrib & ParticleFadeIn) GL.glColor3f(p.colour.x * g, p.colour.y * g, p.colour.z * g);
        if (p.colorattrib & ParticleGrow) size = o->size * g;
        drawSprite(p.position, r, u, size);
        p.power -= p.deltapower;
        p.position = vecAdd(p.position, p.step);
        if (!(p.power > 0)) p.free = 1;  // a power that is not a number ends it too
    }
}

}  // namespace

int32_t particleRandom(int32_t n) {
    if (n <= 0) return 0;
    // Lemire's multiply-and-reject: exactly uniform over 0 ... n - 1.
    uint64_t bound = (uint64_t)n;
    uint64_t m = (nextRandom() >> 32) * bound;
    uint32_t low = (uint32_t)m;
    if (low < bound) {
        uint32_t threshold = (uint32_t)(-(uint32_t)bound) % (uint32_t)bound;
        while (low < threshold) {
            m = (nextRandom() >> 32) * bound;
            low = (uint32_t)m;
        }
    }
    return (int32_t)(m >> 32);
}

void seedParticleRandom(uint64_t seed) { randomState = seed; }

float spreadValue(float base, float spread) {
    double range = nearestSteps((double)spread * 10000.0);
    double half = nearestSteps((double)spread * 5000.0);
    double r = particleRandom((int32_t)range);
    return (float)((double)base + (r - half) / 10000.0);
}

void allocParticles(Scene& scene, int32_t count) {
    freeParticles(scene);
    if (count < 0) count = 0;
    std::string label = str(scene.name) + " particle info ";
    void* block = Base.BS_MemGet((size_t)count * sizeof(Particle), label.c_str());
    if (!block) RunError(1);
    scene.particles = (Particle*)block;
    scene.particlecount = count;
    for (int32_t i = 0; i < count; ++i) {
        scene.particles[i] = Particle{};
        scene.particles[i].free = 1;
    }
}

void freeParticles(Scene& scene) {
    void* block = scene.particles;
    if (block) Base.BS_MemFree(&block);
    scene.particles = nullptr;
    scene.particlecount = 0;
}

void emptyParticles(Scene& scene) {
    for (int32_t i = 0; scene.particles && i < scene.particlecount; ++i) scene.particles[i].free = 1;
}

void runParticles(Scene& scene, float time) {
    GL.glDisable(GL_CULL_FACE);
    GL.glEnable(GL_DEPTH_TEST);
    GL.glDepthMask(GL_FALSE);
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(GL_ONE, GL_ONE);
    GL.glEnable(GL_TEXTURE_2D);
    Vector r, u;
    if (billboardBasis(cameraEye, cameraTarget, r, u) && scene.particles && scene.particlecount > 0) {
        if (scene.objects) spawnAll(scene, time);
        drawAndMove(scene, r, u);
    }
    GL.glDepthMask(GL_TRUE);
}
