// The eight scenes, made in code. Every scene's animation runs over key
// frames 0..1000 (the part time of timeline.cfg), except untitled_prefinal
// (part 8 plays it at 1.9 t + 100: 100..2000) and sarkany (part 9: 0.6 t +
// 200: 200..800). Objects keep a fixed orientation (only positions are
// animated), so motion comes from object tracks, lights and curved cameras.
#include <cmath>
#include <functional>

#include "showmake.h"
#include "scene/scenefile.h"
#include "tools/scenebuild/scenebuild.h"

namespace {

const float Pi = 3.14159265f;
float rad(float deg) { return deg * Pi / 180; }

Vector add(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

// Scales, turns about X then Z (degrees) and moves a mesh; normals follow.
Mesh xf(const Mesh& src, Vector scale, Vector offset = {0, 0, 0}, float rotX = 0, float rotZ = 0) {
    Mesh m = src;
    float cx = std::cos(rad(rotX)), sx = std::sin(rad(rotX)), cz = std::cos(rad(rotZ)), sz = std::sin(rad(rotZ));
    auto turn = [&](Vector v) {
        Vector a{v.x, v.y * cx - v.z * sx, v.y * sx + v.z * cx};
        return Vector{a.x * cz - a.y * sz, a.x * sz + a.y * cz, a.z};
    };
    for (Vector& v : m.vertices) v = add(turn({v.x * scale.x, v.y * scale.y, v.z * scale.z}), offset);
    for (Vector& n : m.normals) {
        Vector k = turn({n.x / scale.x, n.y / scale.y, n.z / scale.z});
        float l = std::sqrt(k.x * k.x + k.y * k.y + k.z * k.z);
        n = l > 0 ? Vector{k.x / l, k.y / l, k.z / l} : Vector{0, 0, 1};
    }
    if (scale.x * scale.y * scale.z < 0)
        for (Face& f : m.faces) std::swap(f.b, f.c);
    return m;
}

// The inside of a closed mesh: faces turned over, normals reversed.
Mesh inside(Mesh m) {
    for (Face& f : m.faces) std::swap(f.b, f.c);
    for (Vector& n : m.normals) n = {-n.x, -n.y, -n.z};
    return m;
}

Mesh merge(std::initializer_list<Mesh> parts) {
    Mesh out;
    bool first = true;
    for (const Mesh& p : parts) out = first ? p : meshMerge(out, p), first = false;
    return out;
}

// A track sampled from a function every `step` frames over [f0, f1].
std::vector<TrackKey> track(int f0, int f1, int step, const std::function<Vector(float)>& at) {
    std::vector<TrackKey> keys;
    for (int f = f0; f < f1; f += step) keys.push_back({f, at((float)f)});
    keys.push_back({f1, at((float)f1)});
    return keys;
}

// Points on a circle of `radius` at height z, turning from a0 to a1 degrees.
std::vector<TrackKey> orbit(Vector c, float r0, float r1, float z0, float z1, float a0, float a1, int f0, int f1,
                            int step) {
    return track(f0, f1, step, [=](float f) {
        float u = (f - (float)f0) / (float)(f1 - f0), a = rad(a0 + (a1 - a0) * u), r = r0 + (r1 - r0) * u;
        return Vector{c.x + r * std::cos(a), c.y + r * std::sin(a), z0 + (z1 - z0) * u};
    });
}

int32_t material(Scene& s, const char* name, const char* tex, Vector diffuse = {1, 1, 1}, float tile = 1,
                 float spec = 0.5f, int32_t shine = 20) {
    int32_t i = sbMaterial(s, name, tex);
    Material& m = sbMat(s, i);
    m.diffuse = diffuse;
    m.ambient = {diffuse.x * 0.3f, diffuse.y * 0.3f, diffuse.z * 0.3f};
    m.specular = {spec, spec, spec};
    m.shine = shine;
    m.utile = m.vtile = tile;
    return i;
}

// Unlit: shows its colour (times the texture) whatever the lights do.
int32_t glowing(Scene& s, const char* name, const char* tex, Vector colour, uint8_t blend = 0, float alpha = 1) {
    int32_t i = sbMaterial(s, name, tex);
    Material& m = sbMat(s, i);
    m.receivelight = false;
    m.ambient = colour;
    m.blend = blend;
    m.constantalpha = alpha;
    if (blend) m.depthtest = 1;  // read the depth, do not hide what lies behind
    return i;
}

void envmapped(Scene& s, int32_t mat, const char* env, float alpha) {
    Material& m = sbMat(s, mat);
    m.envmap = true;
    m.envmaptexture = S(env);
    m.envmapalpha = alpha;
    m.envmapblend = true;
}

// An object on a track; `pass` 1 for the transparent pass.
int32_t object(Scene& s, const char* name, int32_t mat, const Mesh& mesh, const std::vector<TrackKey>& keys = {},
               int32_t pass = 0) {
    int32_t i = sbObject(s, name, mat, mesh);
    if (!keys.empty()) sbObjectTrack(s, i, keys);
    sbObj(s, i).passno = pass;
    sbObj(s, i).pivot = keys.empty() ? Vector{0, 0, 0} : keys[0].point;
    return i;
}

int32_t emitter(Scene& s, const char* name, const std::vector<TrackKey>& keys, const EmitterSettings& e) {
    int32_t mat = glowing(s, "emitter", "", {0, 0, 0});
    int32_t i = object(s, name, mat, meshBox({0.1f, 0.1f, 0.1f}), keys);
    sbObj(s, i).visible = false;
    sbEmitter(s, i, e);
    return i;
}

void save(const ShowMakeDirs& d, Scene& s) {
    sbFinish(s);
    smPut(d, "3ddata/" + str(s.name) + ".vlm", SaveSceneData(s));
    ReleaseScene(s);
}

std::vector<TrackKey> shifted(const std::vector<TrackKey>& keys, Vector by) {
    std::vector<TrackKey> out = keys;
    for (TrackKey& k : out) k.point = add(k.point, by);
    return out;
}

// --- part 1: a sword rising from stone, sparks running along its edge ---
void kard(const ShowMakeDirs& d) {
    Scene s;
    sbBegin(s, "kard_anim");
    int32_t stone = material(s, "stone", "stone.tga", {0.8f, 0.75f, 0.7f}, 8, 0.2f, 10);
    int32_t rock = material(s, "rock", "stone.tga", {0.7f, 0.65f, 0.6f}, 1, 0.3f, 10);
    int32_t steel = material(s, "steel", "steel.tga", {0.9f, 0.92f, 1}, 1, 1, 90);
    envmapped(s, steel, "chrome.tga", 0.45f);
    int32_t gold = material(s, "gold", "gold.tga", {1, 0.85f, 0.5f}, 1, 0.9f, 60);
    int32_t leather = material(s, "leather", "leather.tga", {0.8f, 0.6f, 0.5f}, 2, 0.2f, 8);
    int32_t marble = material(s, "marble", "marble.tga", {0.9f, 0.9f, 0.85f}, 1, 0.6f, 40);
    int32_t rune = glowing(s, "runes", "holo.tga", {1, 0.5f, 0.15f}, 1);
    sbMat(s, rune).utile = 6;

    object(s, "floor", stone, meshPlane(160, 160, 16));
    auto rise = track(0, 1000, 50, [](float f) {
        float u = std::fmin(1, std::fmax(0, (f - 120) / 400));
        u = u * u * (3 - 2 * u);
        return Vector{0, 0, -13 + 13 * u + f * 0.0006f};
    });
    Mesh blade = xf(meshLathe({{0, 0}, {0.9f, 1.8f}, {0.85f, 11}, {0, 11.2f}}, 4), {1, 0.28f, 1}, {0, 0, -1.5f}, 0, 45);
    int32_t b = object(s, "blade", steel, blade, rise);
    sbObj(s, b).pivot = {0, 0, 0};
    object(s, "guard", gold,
           merge({meshBox({6, 1, 0.8f}), xf(meshSphere(0.7f, 12, 8), {1, 1, 1}, {3.2f, 0, 0}),
                  xf(meshSphere(0.7f, 12, 8), {1, 1, 1}, {-3.2f, 0, 0})}),
           shifted(rise, {0, 0, 10}));
    object(s, "grip", leather, meshCylinder(0.45f, 3.6f, 12), shifted(rise, {0, 0, 12.2f}));
    object(s, "pommel", gold, meshSphere(0.85f, 16, 10), shifted(rise, {0, 0, 14.6f}));
    Mesh rocks;
    for (int i = 0; i < 7; ++i) {
        float a = rad(360.0f * i / 7 + 20), r = 3.2f + (float)(i % 3);
        Mesh one = xf(meshSphere(1.5f + 0.4f * (float)(i % 2), 10, 7), {1.3f, 1, 0.6f}, {r * std::cos(a), r * std::sin(a), 0.2f}, 0, 40.0f * i);
        rocks = i ? meshMerge(rocks, one) : one;
    }
    object(s, "rocks", rock, rocks);
    for (int i = 0; i < 6; ++i) {
        float a = rad(60.0f * i + 30);
        Mesh pillar = merge({meshCylinder(1.4f, 22, 16), xf(meshBox({4, 4, 1.2f}), {1, 1, 1}, {0, 0, 11.6f}),
                             xf(meshBox({4, 4, 1.2f}), {1, 1, 1}, {0, 0, -10.4f})});
        object(s, "pillar", marble, xf(pillar, {1, 1, 1}, {30 * std::cos(a), 30 * std::sin(a), 11}));
    }
    int32_t ring = object(s, "rune ring", rune, xf(meshTorus(7, 0.25f, 48, 6), {1, 1, 0.3f}, {0, 0, 0.15f}), {}, 1);
    sbObj(s, ring).texturescroll = {0.002f, 0, 0};
    sbObj(s, ring).backfacecull = false;

    EmitterSettings sparks{"spark.tga"};
    sparks.newparticle = 5, sparks.power = 45, sparks.size = 0.35f;
    sparks.deltavector = {0, 0, 0.05f}, sparks.deltavectorspread = {0.3f, 0.3f, 0.12f};
    sparks.color = {1, 0.6f, 0.2f}, sparks.colorspread = {0.1f, 0.3f, 0.2f}, sparks.colorattrib = 3;
    emitter(s, "edge sparks", track(0, 1000, 25, [](float f) {
                return Vector{0.6f * std::sin(f * 0.05f), 0.2f, 1 + 9 * (0.5f + 0.5f * std::sin(f * 0.013f))};
            }), sparks);
    EmitterSettings embers{"flame.tga"};
    embers.newparticle = 3, embers.power = 80, embers.size = 0.5f;
    embers.deltavector = {0, 0, 0.03f}, embers.deltavectorspread = {0.12f, 0.12f, 0.03f};
    embers.color = {0.9f, 0.35f, 0.08f}, embers.colorattrib = 1;
    emitter(s, "embers", orbit({0, 0, 0}, 7, 7, 0.3f, 0.3f, 0, 720, 0, 1000, 20), embers);

    sbCamera(s, orbit({0, 0, 0}, 30, 15, 2.5f, 11, 200, 400, 0, 1000, 100),
             track(0, 1000, 250, [](float f) { return Vector{0, 0, 2 + f * 0.01f}; }));
    sbLight(s, 0, "key", {}, {1, 0.8f, 0.6f}, {0.12f, 0.1f, 0.1f}, {1, 0.9f, 0.8f}, orbit({0, 0, 0}, 20, 20, 18, 18, 0, 360, 0, 1000, 50));
    sbLight(s, 1, "fill", {-20, 15, 10}, {0.25f, 0.35f, 0.7f}, {0.05f, 0.05f, 0.1f});
    sbLight(s, 2, "rim", {10, -25, 4}, {0.8f, 0.25f, 0.1f}, {0, 0, 0});
    sbLight(s, 3, "glow", {}, {1, 0.6f, 0.25f}, {0, 0, 0}, {1, 0.8f, 0.5f}, shifted(rise, {2, -2, 9}));
    save(d, s);
}

// --- part 3: the 3D emblem, chrome letters over a grid floor ---
void logo(const ShowMakeDirs& d) {
    Scene s;
    sbBegin(s, "vexil2_anim");
    std::string font = smRead(d.font), why;
    Mesh word = meshText(font, "VEXIL", 10, 2.5f, 4, &why);
    Mesh two = meshText(font, "2", 14, 3, 4, &why);
    if (word.vertices.empty() || two.vertices.empty()) smFail("3D text: " + why);
    int32_t chrome = material(s, "chrome", "steel.tga", {0.85f, 0.9f, 1}, 0.1f, 1, 80);
    envmapped(s, chrome, "silver.tga", 0.6f);
    sbMat(s, chrome).ambient = {0.45f, 0.5f, 0.6f};
    int32_t gold = material(s, "gold", "gold.tga", {1, 0.8f, 0.4f}, 0.1f, 1, 70);
    envmapped(s, gold, "silver.tga", 0.3f);
    sbMat(s, gold).ambient = {0.5f, 0.4f, 0.2f};
    int32_t bronze = material(s, "bronze", "bronze.tga", {1, 0.8f, 0.6f}, 2, 0.8f, 50);
    int32_t grid = glowing(s, "grid", "grid.tga", {0.4f, 0.8f, 1});
    sbMat(s, grid).alphatest = 0.5f;
    sbMat(s, grid).utile = sbMat(s, grid).vtile = 20;
    // The letters mirrored under the grid, seen through its open cells.
    int32_t mirror = glowing(s, "reflection", "silver.tga", {0.6f, 0.7f, 1}, 2, 0.35f);
    sbMat(s, mirror).utile = sbMat(s, mirror).vtile = 0.1f;
    int32_t orb = glowing(s, "orb", "spark.tga", {1, 1, 1}, 1);

    Mesh standing = xf(word, {1, 1, 1}, {-4, 0, 0}, 90);
    object(s, "emblem", chrome, standing, track(0, 1000, 50, [](float f) { return Vector{0, 0, 0.6f * std::sin(f * 0.02f)}; }));
    object(s, "two", gold, xf(two, {1, 1, 1}, {0, 0, 0}, 90), track(0, 1000, 25, [](float f) {
               float u = std::fmin(1, f / 300);
               return Vector{24 + 60 * (1 - u) * (1 - u), -4 - 30 * (1 - u), 1 + 0.8f * std::sin(f * 0.03f)};
           }));
    int32_t g = object(s, "grid", grid, meshPlane(400, 400, 4), track(0, 1, 1, [](float) { return Vector{0, 0, -8}; }));
    sbObj(s, g).backfacecull = false;
    sbObj(s, g).texturescroll = {0, -0.01f, 0};
    int32_t r = object(s, "reflection", mirror, xf(standing, {1, 1, -1}, {0, 0, -16.5f}), {}, 1);
    sbObj(s, r).backfacecull = false;
    for (int i = 0; i < 3; ++i) {
        int32_t t = object(s, "ring", bronze, meshTorus(24 + 5.0f * i, 0.5f, 64, 8),
                           track(0, 1000, 50, [i](float f) { return Vector{0, 0, 2 * std::sin(f * 0.01f + (float)i * 2)}; }));
        sbObj(s, t).rotation = {70.0f + 10 * i, 20.0f * i - 20, 0};
    }
    for (int i = 0; i < 6; ++i)
        object(s, "orb", orb, meshSphere(0.8f, 10, 6), orbit({0, 0, 0}, 34, 30, -2 + 2.0f * i, 6 - 1.5f * i, 60.0f * i, 60.0f * i + 240, 0, 1000, 25), 1);

    sbCamera(s, orbit({0, 0, 0}, 120, 85, 14, 30, -125, -55, 0, 1000, 125),
             track(0, 1000, 500, [](float f) { return Vector{0, 0, 2 - f * 0.002f}; }));
    sbLight(s, 0, "white", {}, {1, 1, 1}, {0.1f, 0.1f, 0.12f}, {1, 1, 1}, orbit({0, 0, 0}, 40, 40, 30, 30, -160, 20, 0, 1000, 50));
    sbLight(s, 1, "blue", {-40, -30, 5}, {0.2f, 0.4f, 1}, {0, 0, 0});
    sbLight(s, 2, "magenta", {}, {0.9f, 0.2f, 0.7f}, {0, 0, 0}, {1, 0.5f, 1}, orbit({0, 0, 0}, 30, 30, -4, 10, 90, -270, 0, 1000, 50));
    sbLight(s, 3, "gold", {30, -40, 20}, {1, 0.7f, 0.3f}, {0, 0, 0});
    save(d, s);
}

// --- part 4: a creature walking the desert (and its chrome twin) ---
Vector walk(float f) { return {-36 + 0.07f * f, 5 * std::sin(f * 0.004f), 0}; }

void creature(const ShowMakeDirs& d, bool chromed) {
    Scene s;
    sbBegin(s, chromed ? "vexildog_anim_envmap" : "vexildog_anim");
    int32_t hide = chromed ? material(s, "chrome hide", "chrome.tga", {0.7f, 0.75f, 0.9f}, 1, 1, 90)
                           : material(s, "hide", "fur.tga", {0.9f, 0.8f, 0.7f}, 2, 0.2f, 10);
    if (chromed) envmapped(s, hide, "envmap.tga", 0.85f);
    int32_t bone = material(s, "bone", "bone.tga", {1, 0.95f, 0.85f}, 1, 0.6f, 30);
    if (chromed) envmapped(s, bone, "chrome.tga", 0.5f);
    int32_t ground = chromed ? material(s, "mirror sand", "sand.tga", {0.4f, 0.5f, 0.9f}, 10, 0.8f, 30)
                             : material(s, "sand", "sand.tga", {1, 0.9f, 0.75f}, 10, 0.1f, 5);
    if (chromed) envmapped(s, ground, "envmap.tga", 0.3f);
    int32_t rockm = material(s, "rock", "stone.tga", {0.8f, 0.7f, 0.6f}, 1, 0.2f, 10);
    int32_t eyes = glowing(s, "eyes", "", chromed ? Vector{0.2f, 1, 1} : Vector{1, 0.8f, 0.1f});

    auto body = track(0, 1000, 20, [](float f) { return add(walk(f), {0, 0, 0.25f * std::fabs(std::sin(f * 0.09f))}); });
    Mesh torso = merge({xf(meshSphere(1, 20, 12), {3.4f, 1.6f, 1.5f}, {0, 0, 3.6f}),
                        xf(meshSphere(1, 16, 10), {1.4f, 1.15f, 1.15f}, {3.8f, 0, 5.1f}),
                        xf(meshSphere(1, 12, 8), {1.1f, 0.6f, 0.5f}, {5.1f, 0, 4.7f}),
                        meshSweep({{-3, 0, 4}, {-4.5f, 0, 4.6f}, {-5.6f, 0, 5.8f}, {-6, 0, 7.2f}}, 0.35f, 8)});
    object(s, "body", hide, torso, body);
    Mesh spikes;
    for (int i = 0; i < 6; ++i) {
        Mesh c = meshLathe({{0.45f, 0}, {0.05f, 1.3f - 0.1f * (float)i}}, 8);
        spikes = i ? meshMerge(spikes, xf(c, {1, 1, 1}, {2.4f - 1.0f * i, 0, 4.7f})) : xf(c, {1, 1, 1}, {2.4f, 0, 4.7f});
    }
    spikes = merge({spikes, xf(meshLathe({{0.35f, 0}, {0.02f, 1.4f}}, 8), {1, 1, 1}, {3.6f, 0.7f, 5.9f}),
                    xf(meshLathe({{0.35f, 0}, {0.02f, 1.4f}}, 8), {1, 1, 1}, {3.6f, -0.7f, 5.9f})});
    object(s, "spikes", bone, spikes, body);
    object(s, "eyes", eyes, merge({xf(meshSphere(0.22f, 8, 6), {1, 1, 1}, {4.9f, 0.55f, 5.5f}),
                                   xf(meshSphere(0.22f, 8, 6), {1, 1, 1}, {4.9f, -0.55f, 5.5f})}), body);
    // Legs lift in turns: diagonal pairs share a phase.
    for (int i = 0; i < 4; ++i) {
        float lx = i < 2 ? 2 : -2, ly = i % 2 ? 1 : -1, phase = (i == 0 || i == 3) ? 0 : Pi;
        object(s, "leg", hide, xf(meshCylinder(0.45f, 3.2f, 10), {1, 1, 1}, {lx, ly, 1.6f}),
               track(0, 1000, 10, [phase](float f) {
                   return add(walk(f), {0.5f * std::sin(f * 0.09f + phase), 0, 0.5f * std::fmax(0.0f, std::sin(f * 0.09f + phase))});
               }));
    }
    object(s, "ground", ground, meshPlane(240, 240, 12));
    Mesh rocks;
    for (int i = 0; i < 14; ++i) {
        float x = -60 + 9.0f * i, y = (i % 2 ? 14 : -16) + 3.0f * (float)(i % 3);
        Mesh one = xf(meshSphere(1.5f + (float)(i % 3), 10, 7), {1.4f, 1, 0.7f}, {x, y, 0.3f}, 0, 30.0f * i);
        rocks = i ? meshMerge(rocks, one) : one;
    }
    object(s, "rocks", rockm, rocks);
    int32_t skull = object(s, "skull", bone, merge({xf(meshSphere(1.6f, 12, 8), {1.2f, 1, 0.9f}, {8, -9, 1}),
                                                   xf(meshLathe({{0.4f, 0}, {0.05f, 3}}, 8), {1, 1, 1}, {9.5f, -9, 1.2f}, 0, 0)}));
    (void)skull;
    if (!chromed) {
        EmitterSettings dust{"dust.tga"};
        dust.newparticle = 2, dust.power = 70, dust.size = 1.1f;
        dust.deltavector = {-0.02f, 0, 0.02f}, dust.deltavectorspread = {0.08f, 0.08f, 0.03f};
        dust.color = {0.8f, 0.65f, 0.45f}, dust.colorspread = {0.1f, 0.1f, 0.1f}, dust.colorattrib = 1;
        emitter(s, "dust front", track(0, 1000, 20, [](float f) { return add(walk(f), {2, 0, 0.2f}); }), dust);
        emitter(s, "dust back", track(0, 1000, 20, [](float f) { return add(walk(f), {-2, 0, 0.2f}); }), dust);
        EmitterSettings breath{"spark.tga"};
        breath.newparticle = 2, breath.power = 25, breath.size = 0.3f;
        breath.deltavector = {0.12f, 0, 0.02f}, breath.deltavectorspread = {0.05f, 0.05f, 0.05f};
        breath.color = {1, 0.5f, 0.15f}, breath.colorattrib = 3;
        emitter(s, "breath", track(0, 1000, 20, [](float f) { return add(walk(f), {6.2f, 0, 4.6f}); }), breath);
    }
    sbCamera(s, track(0, 1000, 100, [](float f) {
                 float a = rad(-110 + 0.09f * f);
                 return add(walk(f), {18 * std::cos(a), 18 * std::sin(a), 6 + 3 * std::sin(f * 0.006f)});
             }),
             track(0, 1000, 100, [](float f) { return add(walk(f), {1, 0, 3.5f}); }));
    if (chromed) {
        sbLight(s, 0, "cyan", {}, {0.3f, 1, 1}, {0.1f, 0.1f, 0.15f}, {1, 1, 1}, track(0, 1000, 50, [](float f) { return add(walk(f), {10, -10, 14}); }));
        sbLight(s, 1, "magenta", {}, {1, 0.3f, 0.9f}, {0, 0, 0}, {1, 1, 1}, track(0, 1000, 50, [](float f) { return add(walk(f), {-12, 8, 6}); }));
        sbLight(s, 2, "white", {0, 0, 40}, {0.6f, 0.6f, 0.7f}, {0, 0, 0});
    } else {
        sbLight(s, 0, "sun", {60, -40, 70}, {1, 0.85f, 0.6f}, {0.18f, 0.14f, 0.1f});
        sbLight(s, 1, "sky", {-50, 40, 30}, {0.3f, 0.4f, 0.6f}, {0, 0, 0});
        sbLight(s, 2, "eye glow", {}, {1, 0.6f, 0.2f}, {0, 0, 0}, {1, 1, 1}, track(0, 1000, 50, [](float f) { return add(walk(f), {8, 0, 5}); }));
    }
    save(d, s);
}

// --- part 6: a control room: consoles, screens, a hologram ---
void controlroom(const ShowMakeDirs& d) {
    Scene s;
    sbBegin(s, "controlroom_shadow_optimized");
    int32_t wall = material(s, "wall", "wallpanel.tga", {0.8f, 0.85f, 1}, 1, 0.3f, 20);
    sbMat(s, wall).utile = 8, sbMat(s, wall).vtile = 2;
    int32_t floorm = material(s, "floor", "floorplate.tga", {0.9f, 0.9f, 0.95f}, 10, 0.7f, 40);
    int32_t console = material(s, "console", "console.tga", {0.9f, 0.9f, 0.9f}, 1, 0.6f, 30);
    int32_t metal = material(s, "metal", "steel.tga", {0.6f, 0.65f, 0.7f}, 1, 0.9f, 60);
    int32_t screen = glowing(s, "screen", "screen.tga", {1, 1, 1});
    int32_t holo = glowing(s, "hologram", "holo.tga", {0.4f, 0.9f, 1}, 1);
    int32_t lamp = glowing(s, "lamp", "", {0.8f, 0.9f, 1});
    int32_t alarm = glowing(s, "alarm", "", {1, 0.1f, 0.05f});

    object(s, "room", wall, inside(xf(meshBox({70, 46, 16}), {1, 1, 1}, {0, 0, 8})));
    object(s, "floor", floorm, meshPlane(70, 46, 10), track(0, 1, 1, [](float) { return Vector{0, 0, 0.02f}; }));
    Mesh desks, tops;
    for (int i = 0; i < 9; ++i) {
        float a = rad(-70 + 140.0f * i / 8);
        Vector at{-4 + 16 * std::cos(a), 16 * std::sin(a), 0};
        desks = i ? meshMerge(desks, xf(meshBox({2.5f, 4.5f, 2.4f}), {1, 1, 1}, add(at, {0, 0, 1.2f}), 0, 140.0f * i / 8 - 70))
                  : xf(meshBox({2.5f, 4.5f, 2.4f}), {1, 1, 1}, add(at, {0, 0, 1.2f}), 0, -70);
        Mesh scr = xf(meshPlane(4, 2.4f), {1, 1, 1}, add(at, {1.3f * std::cos(a), 1.3f * std::sin(a), 3.8f}), 90, 140.0f * i / 8 - 70 + 90);
        tops = i ? meshMerge(tops, scr) : scr;
    }
    object(s, "consoles", console, desks);
    int32_t small = object(s, "console screens", screen, tops);
    sbObj(s, small).backfacecull = false;
    sbObj(s, small).texturescroll = {0, 0.004f, 0};
    int32_t big = object(s, "wall screen", screen, xf(meshPlane(30, 10), {1, 1, 1}, {34.8f, 0, 8}, 90, 90));
    sbObj(s, big).backfacecull = false;
    sbObj(s, big).texturescroll = {0.001f, 0.002f, 0};
    Mesh pillars;
    for (int i = 0; i < 6; ++i) {
        Mesh p = xf(meshCylinder(0.9f, 16, 12), {1, 1, 1}, {-30.0f + 12 * i, i % 2 ? 20.0f : -20.0f, 8});
        pillars = i ? meshMerge(pillars, p) : p;
    }
    object(s, "pillars", metal, pillars);
    Mesh lamps;
    for (int i = 0; i < 8; ++i) {
        Mesh l = xf(meshBox({6, 0.6f, 0.3f}), {1, 1, 1}, {-28.0f + 8 * i, 0, 15.8f});
        lamps = i ? meshMerge(lamps, l) : l;
    }
    object(s, "ceiling lamps", lamp, lamps);
    object(s, "holo base", metal, meshCylinder(3, 1.2f, 24), track(0, 1, 1, [](float) { return Vector{6, 0, 0.6f}; }));
    int32_t h = object(s, "hologram", holo, meshSphere(3.5f, 24, 14), track(0, 1000, 25, [](float f) { return Vector{6, 0, 6 + 0.6f * std::sin(f * 0.03f)}; }), 1);
    sbObj(s, h).texturescroll = {0.003f, 0.001f, 0};
    int32_t hr = object(s, "holo ring", holo, meshTorus(5, 0.15f, 48, 6), track(0, 1000, 25, [](float f) { return Vector{6, 0, 3 + 6 * (0.5f + 0.5f * std::sin(f * 0.02f))}; }), 1);
    sbObj(s, hr).backfacecull = false;
    object(s, "alarm lamp", alarm, meshSphere(0.6f, 10, 6), track(0, 1, 1, [](float) { return Vector{-34, 0, 14}; }));

    sbCamera(s, track(0, 1000, 100, [](float f) {
                 float a = rad(200 + 0.16f * f);
                 float r = 26 - 0.01f * f;
                 return Vector{6 + r * std::cos(a), r * std::sin(a), 9 - 0.003f * f};
             }),
             track(0, 1000, 250, [](float f) { return Vector{6 + 8 * std::sin(f * 0.003f), 0, 5}; }));
    sbLight(s, 0, "ceiling", {0, 0, 14}, {0.7f, 0.75f, 0.85f}, {0.12f, 0.12f, 0.15f});
    sbLight(s, 1, "hologram", {6, 0, 6}, {0.2f, 0.7f, 1}, {0, 0, 0});
    sbLight(s, 2, "alarm", {}, {1, 0.15f, 0.05f}, {0, 0, 0}, {1, 0.3f, 0.2f}, orbit({0, 0, 0}, 25, 25, 12, 12, 0, 1440, 0, 1000, 10));
    sbLight(s, 3, "screens", {30, 0, 8}, {0.2f, 0.9f, 0.4f}, {0, 0, 0});
    sbLight(s, 4, "consoles", {-6, 0, 4}, {0.6f, 0.5f, 0.3f}, {0, 0, 0});
    save(d, s);
}

// --- part 7: a field of cubes in waves ---
void cubes(const ShowMakeDirs& d) {
    Scene s;
    sbBegin(s, "kocka_anim");
    Vector tints[3] = {{0.5f, 0.7f, 1}, {0.9f, 0.5f, 1}, {0.4f, 1, 0.9f}};
    int32_t mats[3];
    for (int i = 0; i < 3; ++i) mats[i] = material(s, "cube", "cube.tga", tints[i], 1, 0.9f, 50);
    int32_t glass = glowing(s, "glass", "cube.tga", {0.3f, 0.5f, 1}, 1);
    int32_t grid = glowing(s, "grid", "grid.tga", {0.3f, 0.6f, 1});
    sbMat(s, grid).alphatest = 0.5f;
    sbMat(s, grid).utile = sbMat(s, grid).vtile = 24;
    int32_t dark = material(s, "ground", "floorplate.tga", {0.3f, 0.3f, 0.4f}, 24, 0.5f, 20);

    object(s, "ground", dark, meshPlane(200, 200, 8), track(0, 1, 1, [](float) { return Vector{0, 0, -3}; }));
    int32_t g = object(s, "grid", grid, meshPlane(200, 200, 8), track(0, 1, 1, [](float) { return Vector{0, 0, -2.9f}; }));
    sbObj(s, g).backfacecull = false;
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 9; ++i) {
            float x = (float)(i - 4) * 6, y = (float)(j - 4) * 6, dist = std::sqrt(x * x + y * y);
            bool isGlass = (i * 7 + j * 3) % 11 == 0;
            int32_t o = object(s, "cube", isGlass ? glass : mats[(i + j) % 3], meshBox({3.6f, 3.6f, 3.6f}),
                               track(0, 1000, 25, [=](float f) {
                                   return Vector{x, y, 3 * std::sin(f * 0.025f - dist * 0.18f) + 1.5f * std::sin(f * 0.011f + x * 0.1f)};
                               }),
                               isGlass ? 1 : 0);
            if (isGlass) sbObj(s, o).backfacecull = false;
        }
    EmitterSettings sparks{"spark.tga"};
    sparks.newparticle = 4, sparks.power = 60, sparks.size = 0.5f;
    sparks.deltavector = {0, 0, 0.12f}, sparks.deltavectorspread = {0.15f, 0.15f, 0.08f};
    sparks.color = {0.4f, 0.6f, 1}, sparks.colorspread = {0.3f, 0.3f, 0.2f}, sparks.colorattrib = 3;
    emitter(s, "fountain", track(0, 1, 1, [](float) { return Vector{0, 0, 5}; }), sparks);
    sparks.color = {1, 0.4f, 0.9f};
    sparks.deltavector = {0, 0, 0.05f};
    emitter(s, "wanderer", orbit({0, 0, 0}, 16, 16, 6, 6, 0, 540, 0, 1000, 20), sparks);
    sbCamera(s, track(0, 1000, 100, [](float f) {
                 float a = rad(-60 + 0.2f * f);
                 float r = 55 - 0.02f * f;
                 return Vector{r * std::cos(a), r * std::sin(a), 28 - 0.014f * f};
             }),
             track(0, 1000, 250, [](float f) { return Vector{6 * std::sin(f * 0.004f), 0, 0}; }));
    sbLight(s, 0, "blue", {}, {0.3f, 0.5f, 1}, {0.08f, 0.08f, 0.12f}, {1, 1, 1}, orbit({0, 0, 0}, 30, 30, 15, 15, 0, 360, 0, 1000, 25));
    sbLight(s, 1, "magenta", {}, {1, 0.3f, 0.8f}, {0, 0, 0}, {1, 1, 1}, orbit({0, 0, 0}, 30, 30, 12, 12, 180, -180, 0, 1000, 25));
    sbLight(s, 2, "white", {0, 0, 40}, {0.5f, 0.5f, 0.55f}, {0, 0, 0});
    sbLight(s, 3, "cyan", {}, {0.2f, 1, 0.8f}, {0, 0, 0}, {1, 1, 1}, orbit({0, 0, 0}, 10, 35, 8, 8, 90, 450, 0, 1000, 25));
    save(d, s);
}

// --- part 8: an abstract sculpture among fire bowls ---
void sculpture(const ShowMakeDirs& d) {
    Scene s;
    sbBegin(s, "untitled_prefinal");
    int32_t marble = material(s, "marble", "marble.tga", {1, 0.97f, 0.92f}, 1, 0.8f, 60);
    envmapped(s, marble, "envmap.tga", 0.25f);
    int32_t bronze = material(s, "bronze", "bronze.tga", {1, 0.8f, 0.6f}, 2, 1, 70);
    int32_t stone = material(s, "stone", "stone.tga", {0.6f, 0.55f, 0.5f}, 12, 0.2f, 10);
    int32_t plinth = material(s, "plinth", "marble.tga", {0.5f, 0.5f, 0.55f}, 2, 0.4f, 20);
    int32_t chrome = material(s, "chrome", "chrome.tga", {0.8f, 0.8f, 0.9f}, 1, 1, 90);
    envmapped(s, chrome, "envmap.tga", 0.7f);
    int32_t halo = glowing(s, "halo", "holo.tga", {1, 0.6f, 0.3f}, 1);

    std::vector<Vector> knot;
    for (int i = 0; i <= 240; ++i) {
        float t = 2 * Pi * (float)i / 240, r = 6.5f + 2.6f * std::cos(3 * t);
        knot.push_back({r * std::cos(2 * t), r * std::sin(2 * t), 11 + 3.2f * std::sin(3 * t)});
    }
    object(s, "knot", marble, meshSweep(knot, 1.1f, 12));
    for (int i = 0; i < 3; ++i) {
        int32_t r = object(s, "ring", bronze, meshTorus(9 + 1.5f * i, 0.35f, 64, 8),
                           track(100, 2000, 50, [i](float f) { return Vector{0, 0, 10 + 1.5f * std::sin(f * 0.008f + 2.0f * i)}; }));
        sbObj(s, r).rotation = {30.0f + 40 * i, 60.0f * i, 0};
    }
    object(s, "pedestal", plinth, meshLathe({{0, 0}, {8, 0}, {8, 1.5f}, {5, 1.5f}, {4, 4}, {2, 5}, {0, 5}}, 32));
    object(s, "floor", stone, meshPlane(200, 200, 10));
    for (int i = 0; i < 5; ++i)
        object(s, "satellite", chrome, meshSphere(1.1f, 16, 10),
               orbit({0, 0, 0}, 14, 12, 6 + 2.0f * i, 14 - 1.5f * i, 72.0f * i, 72.0f * i + 720, 100, 2000, 25));
    int32_t hl = object(s, "halo", halo, meshTorus(13, 0.2f, 64, 6), track(100, 2000, 50, [](float f) { return Vector{0, 0, 4 + 12 * (0.5f + 0.5f * std::sin(f * 0.006f))}; }), 1);
    sbObj(s, hl).backfacecull = false;
    sbObj(s, hl).texturescroll = {0.003f, 0, 0};
    EmitterSettings fire{"flame.tga"};
    fire.newparticle = 6, fire.power = 30, fire.size = 1.0f;
    fire.deltavector = {0, 0, 0.1f}, fire.deltavectorspread = {0.12f, 0.12f, 0.06f};
    fire.color = {1, 0.45f, 0.12f}, fire.colorspread = {0.1f, 0.2f, 0.1f}, fire.colorattrib = 3;
    for (int i = 0; i < 4; ++i) {
        float a = rad(90.0f * i + 45);
        Vector at{20 * std::cos(a), 20 * std::sin(a), 0};
        object(s, "bowl", bronze, xf(meshLathe({{0.6f, 0}, {0.6f, 3}, {2.2f, 3.5f}, {2.5f, 4.6f}}, 16), {1, 1, 1}, at));
        emitter(s, "fire", track(100, 2000, 950, [at](float) { return add(at, {0, 0, 4.4f}); }), fire);
    }
    sbCamera(s, orbit({0, 0, 0}, 21, 12, 6, 17, 0, 300, 100, 2000, 100),
             track(100, 2000, 950, [](float f) { return Vector{0, 0, 9 + f * 0.001f}; }));
    sbLight(s, 0, "sky", {0, 0, 50}, {0.45f, 0.5f, 0.7f}, {0.12f, 0.12f, 0.14f});
    sbLight(s, 5, "key", {}, {0.8f, 0.78f, 0.7f}, {0, 0, 0}, {1, 1, 1}, orbit({0, 0, 0}, 30, 30, 28, 28, -60, 240, 100, 2000, 50));
    for (int i = 0; i < 4; ++i) {
        float a = rad(90.0f * i + 45);
        sbLight(s, 1 + i, "fire", {}, {1, 0.5f, 0.15f}, {0, 0, 0}, {1, 0.7f, 0.4f},
                track(100, 2000, 10, [a, i](float f) {
                    return Vector{20 * std::cos(a), 20 * std::sin(a), 7 + 0.6f * std::sin(f * 0.7f + (float)i)};
                }));
    }
    save(d, s);
}

// --- part 9: a dragon over mountains (this scene gets no textures: lit colours only) ---
Vector flight(float f) {
    float u = (f - 200) / 600;
    return {50 - 110 * u, 12 * std::sin(u * 5), 14 + 6 * std::sin(u * 3) + 6 * u};
}

void dragon(const ShowMakeDirs& d) {
    Scene s;
    sbBegin(s, "sarkany");
    int32_t scales = material(s, "scales", "", {0.75f, 0.1f, 0.05f}, 1, 0.9f, 60);
    int32_t gold = material(s, "horn", "", {1, 0.75f, 0.3f}, 1, 1, 80);
    int32_t wing = material(s, "wing", "", {0.35f, 0.06f, 0.08f}, 1, 0.3f, 10);
    int32_t rock = material(s, "mountain", "", {0.35f, 0.32f, 0.38f}, 1, 0.1f, 5);
    int32_t snow = material(s, "snow", "", {0.9f, 0.92f, 1}, 1, 0.4f, 20);
    int32_t eye = glowing(s, "eye", "", {1, 0.9f, 0.2f});
    int32_t moon = glowing(s, "moon", "", {0.9f, 0.9f, 0.8f});
    int32_t veil = glowing(s, "mist", "", {0.25f, 0.3f, 0.5f}, 2, 0.35f);

    auto fly = track(200, 800, 10, [](float f) { return add(flight(f), {0, 0, 0.8f * std::sin(f * 0.2f)}); });
    std::vector<Vector> spine;
    for (int i = 0; i <= 40; ++i) {
        float x = (float)i * 0.6f;
        spine.push_back({x, 1.5f * std::sin(x * 0.45f), 0.8f * std::sin(x * 0.3f)});
    }
    std::vector<Vector> neck(spine.begin(), spine.begin() + 9), body(spine.begin() + 8, spine.begin() + 22),
        tail(spine.begin() + 21, spine.end());
    object(s, "body", scales, merge({meshSweep(neck, 0.8f, 12), meshSweep(body, 1.4f, 14), meshSweep(tail, 0.55f, 10),
                                     xf(meshSphere(1, 16, 10), {1.8f, 1, 0.9f}, {-1, 0, 0.2f}),
                                     xf(meshSphere(1, 12, 8), {1.3f, 0.7f, 0.4f}, {-2.6f, 0, -0.2f})}),
           fly);
    Mesh horns = merge({xf(meshLathe({{0.3f, 0}, {0.05f, 2.2f}}, 8), {1, 1, 1}, {-0.2f, -0.6f, 0.8f}, 35),
                        xf(meshLathe({{0.3f, 0}, {0.05f, 2.2f}}, 8), {1, 1, 1}, {-0.2f, 0.6f, 0.8f}, -35)});
    for (int i = 0; i < 10; ++i)
        horns = meshMerge(horns, xf(meshLathe({{0.35f, 0}, {0.03f, 1.2f - 0.08f * i}}, 6), {1, 1, 1}, add(spine[10 + i * 2], {0, 0, 1.1f})));
    object(s, "horns", gold, horns, fly);
    object(s, "eyes", eye, merge({xf(meshSphere(0.18f, 8, 6), {1, 1, 1}, {-1.8f, 0.6f, 0.5f}),
                                  xf(meshSphere(0.18f, 8, 6), {1, 1, 1}, {-1.8f, -0.6f, 0.5f})}), fly);
    // Wings beat: their tracks rise and fall against the body's.
    for (int side = -1; side <= 1; side += 2) {
        int32_t w = object(s, "wing", wing, xf(meshBox({6, 9, 0.15f}), {1, 1, 1}, {8, side * 5.5f, 1.5f}),
                           track(200, 800, 5, [](float f) { return add(flight(f), {0, 0, 1.6f * std::sin(f * 0.2f + 1.2f)}); }));
        sbObj(s, w).backfacecull = false;
        sbObj(s, w).rotation = {side * 38.0f, 0, 0};
        sbObj(s, w).pivot = {8, side * 1.0f, 1.5f};
    }
    Mesh peaks, caps;
    for (int i = 0; i < 12; ++i) {
        float x = -80 + 15.0f * i, y = 45 + 12.0f * (float)(i % 3), h = 18 + 9.0f * (float)((i * 5) % 4);
        Mesh one = xf(meshLathe({{12, 0}, {0.5f, h}}, 7), {1, 1, 1}, {x, y, -2});
        Mesh cap = xf(meshLathe({{4.4f, 0}, {0.7f, h * 0.31f}}, 7), {1, 1, 1}, {x, y, -2.2f + h * 0.7f});
        peaks = i ? meshMerge(peaks, one) : one;
        caps = i ? meshMerge(caps, cap) : cap;
    }
    object(s, "mountains", rock, peaks);
    object(s, "snow", snow, caps);
    object(s, "valley", rock, meshPlane(400, 400, 8), track(0, 1, 1, [](float) { return Vector{0, 0, -2}; }));
    object(s, "moon", moon, meshSphere(9, 24, 14), track(0, 1, 1, [](float) { return Vector{-60, 160, 70}; }));
    int32_t m = object(s, "mist", veil, meshPlane(400, 400, 4), track(0, 1, 1, [](float) { return Vector{0, 0, 3}; }), 1);
    sbObj(s, m).backfacecull = false;
    sbCamera(s, track(200, 800, 50, [](float f) {
                 float u = (f - 200) / 600;
                 return add(flight(f), {-10 + 30 * u, -28 + 10 * u, 6 - 2 * u});
             }),
             track(200, 800, 50, [](float f) { return add(flight(f), {6, 0, 0}); }));
    sbLight(s, 0, "moon", {-60, 160, 70}, {0.45f, 0.5f, 0.8f}, {0.1f, 0.1f, 0.15f});
    sbLight(s, 1, "fire", {}, {1, 0.45f, 0.1f}, {0, 0, 0}, {1, 0.6f, 0.3f}, track(200, 800, 50, [](float f) { return add(flight(f), {-4, -6, -3}); }));
    sbLight(s, 2, "rim", {40, -60, 30}, {0.8f, 0.7f, 0.6f}, {0, 0, 0});
    save(d, s);
}

}  // namespace

void smMakeScenes(const ShowMakeDirs& d) {
    kard(d);
    logo(d);
    creature(d, false);
    creature(d, true);
    controlroom(d);
    cubes(d);
    sculpture(d);
    dragon(d);
}
