#include "scenebuild.h"

#include <cmath>
#include <cstring>

#include "frame/frame.h"
#include "scene/precalc.h"

namespace {

const float Pi = 3.14159265358979f;

template <typename T>
T* copyBlock(const std::vector<T>& v, const std::string& label) {
    if (v.empty()) return nullptr;
    T* b = (T*)Base.BS_MemGet(sizeof(T) * v.size(), label.c_str());
    std::memcpy((void*)b, v.data(), sizeof(T) * v.size());
    return b;
}

// Grows an array block of `count` records by one, keeping the records. The
// block has room for a power of two of records (the blocks are only ever
// made here, from sbBegin on), so adding n records copies about 2n of them,
// not n * n / 2: an import may add thousands.
size_t blockRoom(int32_t count) {
    size_t room = 4;
    while (room < (size_t)count) room *= 2;
    return room;
}

template <typename T>
T* growBlock(T* old, int32_t count, const std::string& label) {
    if (old && (size_t)count < blockRoom(count)) return old;
    T* b = (T*)Base.BS_MemGet(sizeof(T) * blockRoom(count + 1), label.c_str());
    if (old) std::memcpy((void*)b, (const void*)old, sizeof(T) * (size_t)count);
    void* p = old;
    Base.BS_MemFree(&p);
    return b;
}

std::string label(const Scene& s, const char* what) { return str(s.name) + " " + what; }

// Quad a-b-c-d (counter-clockwise) as two faces.
void quad(Mesh& m, int32_t a, int32_t b, int32_t c, int32_t d) {
    m.faces.push_back({a, b, c});
    m.faces.push_back({a, c, d});
}

}  // namespace

Mesh meshBox(Vector size) {
    Mesh m;
    const Vector h = vecScale(size, 0.5f);
    // Six sides with their own corners, so every side keeps flat normals.
    const Vector normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const Vector& n : normals) {
        // Two axes across the side, chosen so that u x v = n.
        Vector u = std::fabs(n.z) > 0.5f ? Vector{1, 0, 0} : Vector{0, 0, 1};
        Vector v = vecCross(n, u);
        u = vecCross(v, n);
        int32_t base = (int32_t)m.vertices.size();
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (auto& c : corners) {
            Vector p = vecAdd(vecAdd(n, vecScale(u, c[0])), vecScale(v, c[1]));
            m.vertices.push_back({p.x * h.x, p.y * h.y, p.z * h.z});
            m.normals.push_back(n);
            m.uvs.push_back({(c[0] + 1) / 2, (c[1] + 1) / 2});
        }
        quad(m, base, base + 1, base + 2, base + 3);
    }
    return m;
}

Mesh meshPlane(float width, float depth, int divisions) {
    Mesh m;
    int d = divisions < 1 ? 1 : divisions;
    for (int j = 0; j <= d; ++j)
        for (int i = 0; i <= d; ++i) {
            float u = (float)i / d, v = (float)j / d;
            m.vertices.push_back({(u - 0.5f) * width, (v - 0.5f) * depth, 0});
            m.normals.push_back({0, 0, 1});
            m.uvs.push_back({u, v});
        }
    for (int j = 0; j < d; ++j)
        for (int i = 0; i < d; ++i) {
            int32_t a = j * (d + 1) + i;
            quad(m, a, a + 1, a + d + 2, a + d + 1);
        }
    return m;
}

Mesh meshSphere(float radius, int segments, int rings) {
    std::vector<std::pair<float, float>> profile;
    for (int r = 0; r <= rings; ++r) {
        float a = -Pi / 2 + Pi * r / rings;
        profile.push_back({radius * std::cos(a), radius * std::sin(a)});
    }
    profile.front().first = 0;
    profile.back().first = 0;
    return meshLathe(profile, segments);
}

Mesh meshLathe(const std::vector<std::pair<float, float>>& profile, int segments) {
    Mesh m;
    int rows = (int)profile.size();
    if (rows < 2 || segments < 3) return m;
    for (int r = 0; r < rows; ++r) {
        // The profile's direction gives the normal in the r-z plane.
        int a = r > 0 ? r - 1 : r, b = r + 1 < rows ? r + 1 : r;
        float dr = profile[b].first - profile[a].first, dz = profile[b].second - profile[a].second;
        float nr = dz, nz = -dr, len = std::sqrt(nr * nr + nz * nz);
        if (len > 0) nr /= len, nz /= len;
        for (int s = 0; s <= segments; ++s) {
            float t = 2 * Pi * s / segments, c = std::cos(t), sn = std::sin(t);
            m.vertices.push_back({profile[r].first * c, profile[r].first * sn, profile[r].second});
            m.normals.push_back({nr * c, nr * sn, nz});
            m.uvs.push_back({(float)s / segments, (float)r / (rows - 1)});
        }
    }
    for (int r = 0; r + 1 < rows; ++r) {
        // A repeated profile point only makes a hard edge: no band between.
        if (profile[r] == profile[r + 1]) continue;
        // At a pole (radius 0) a band's quads are triangles.
        bool lowPole = profile[r].first == 0, highPole = profile[r + 1].first == 0;
        for (int s = 0; s < segments; ++s) {
            int32_t a = r * (segments + 1) + s, b = a + 1, c = a + segments + 2, d = a + segments + 1;
            if (!lowPole) m.faces.push_back({a, b, c});
            if (!highPole) m.faces.push_back({a, c, d});
        }
    }
    return m;
}

Mesh meshCylinder(float radius, float height, int segments, bool caps) {
    float h = height / 2;
    std::vector<std::pair<float, float>> profile = {{radius, -h}, {radius, h}};
    if (caps) profile = {{0, -h}, {radius, -h}, {radius, -h}, {radius, h}, {radius, h}, {0, h}};
    return meshLathe(profile, segments);
}

Mesh meshTorus(float major, float minor, int segments, int sides) {
    std::vector<Vector> path;
    for (int s = 0; s <= segments; ++s) {
        float t = 2 * Pi * s / segments;
        path.push_back({major * std::cos(t), major * std::sin(t), 0});
    }
    return meshSweep(path, minor, sides);
}

Mesh meshSweep(const std::vector<Vector>& path, float radius, int sides) {
    Mesh m;
    int n = (int)path.size();
    if (n < 2 || sides < 3) return m;
    for (int i = 0; i < n; ++i) {
        Vector dir = vecNormalize(vecSub(path[i + 1 < n ? i + 1 : i], path[i > 0 ? i - 1 : i]));
        Vector up = std::fabs(dir.z) > 0.9f ? Vector{1, 0, 0} : Vector{0, 0, 1};
        Vector side = vecNormalize(vecCross(dir, up));
        Vector top = vecCross(side, dir);
        for (int k = 0; k <= sides; ++k) {
            float t = 2 * Pi * k / sides;
            Vector nrm = vecAdd(vecScale(side, std::cos(t)), vecScale(top, std::sin(t)));
            m.vertices.push_back(vecAdd(path[i], vecScale(nrm, radius)));
            m.normals.push_back(nrm);
            m.uvs.push_back({(float)k / sides, (float)i / (n - 1)});
        }
    }
    for (int i = 0; i + 1 < n; ++i)
        for (int k = 0; k < sides; ++k) {
            int32_t a = i * (sides + 1) + k, b = a + sides + 1;
            quad(m, a, b, b + 1, a + 1);
        }
    return m;
}

Mesh meshMove(const Mesh& src, Vector offset, Vector scale) {
    Mesh m = src;
    for (Vector& v : m.vertices) v = {v.x * scale.x + offset.x, v.y * scale.y + offset.y, v.z * scale.z + offset.z};
    return m;
}

Mesh meshMerge(const Mesh& a, const Mesh& b, Vector offset) {
    Mesh m = a;
    int32_t base = (int32_t)m.vertices.size();
    Mesh moved = meshMove(b, offset);
    m.vertices.insert(m.vertices.end(), moved.vertices.begin(), moved.vertices.end());
    bool normals = !a.normals.empty() && !b.normals.empty(), uvs = !a.uvs.empty() && !b.uvs.empty();
    if (normals) m.normals.insert(m.normals.end(), b.normals.begin(), b.normals.end());
    else m.normals.clear();
    if (uvs) m.uvs.insert(m.uvs.end(), b.uvs.begin(), b.uvs.end());
    else m.uvs.clear();
    if (!a.colors.empty() && !b.colors.empty()) m.colors.insert(m.colors.end(), b.colors.begin(), b.colors.end());
    else m.colors.clear();
    for (Face f : b.faces) m.faces.push_back({f.a + base, f.b + base, f.c + base});
    return m;
}

void sbBegin(Scene& s, const char* name) {
    s = Scene{};
    s.versionmajor = 1;
    s.versionminor = 2;
    s.name = S(name);
    s.camerafov = 60 * Pi / 180;
    s.cameranear = 1;
    s.camerafar = 1000;
    s.viewdistance = 1000;
    s.materialscale = 1;
    s.shadowlength = 1000;
}

int32_t sbMaterial(Scene& s, const char* name, const char* texture) {
    s.materials = growBlock(s.materials, s.materialcount, label(s, "materials"));
    Material& m = s.materials[s.materialcount];
    m = Material{};
    m.name = S(name);
    m.texturename = S(texture);
    m.textured = texture && *texture;
    m.utile = m.vtile = 1;
    m.ambient = {0.3f, 0.3f, 0.3f};
    m.diffuse = {1, 1, 1};
    m.specular = {0.5f, 0.5f, 0.5f};
    m.shine = 20;
    m.magtype = 3;
    m.receivelight = true;
    m.constantalpha = 1;
    m.depthfunc = 1;
    m.depth = 24;
    m.envmapcolor = {1, 1, 1};
    m.envmapalpha = 0.5f;
    return s.materialcount++;
}

Material& sbMat(Scene& s, int32_t index) { return s.materials[index]; }
SceneObject& sbObj(Scene& s, int32_t index) { return s.objects[index]; }

int32_t sbObject(Scene& s, const char* name, int32_t material, const Mesh& mesh) {
    s.objects = growBlock(s.objects, s.objectcount, label(s, "objects"));
    SceneObject& o = s.objects[s.objectcount];
    o = SceneObject{};
    o.name = S(name);
    o.material = material;
    o.visible = true;
    o.backfacecull = true;
    o.castshadow = true;
    std::string prefix = str(s.name) + " " + name;
    o.vertexcount = (int32_t)mesh.vertices.size();
    o.facecount = (int32_t)mesh.faces.size();
    o.vertices = copyBlock(mesh.vertices, prefix + " vertex vectors");
    o.faces = copyBlock(mesh.faces, prefix + " face list");
    o.hasnormals = mesh.normals.size() == mesh.vertices.size() && !mesh.vertices.empty();
    o.hasuv = mesh.uvs.size() == mesh.vertices.size() && !mesh.vertices.empty();
    if (o.hasnormals) o.normals = copyBlock(mesh.normals, prefix + " vertex normals");
    if (o.hasuv) o.uvs = copyBlock(mesh.uvs, prefix + " UV coordinates");
    o.hascolors = mesh.colors.size() == mesh.vertices.size() && !mesh.vertices.empty();
    if (o.hascolors) o.colors = copyBlock(mesh.colors, prefix + " vertex color list");
    for (int i = 0; i < 16; i += 5) o.matrix[i] = 1;
    return s.objectcount++;
}

void sbObjectTrack(Scene& s, int32_t object, const std::vector<TrackKey>& keys) {
    SceneObject& o = s.objects[object];
    void* old = o.poskeys;
    Base.BS_MemFree(&old);
    o.poskeycount = (int32_t)keys.size();
    o.poskeys = copyBlock(keys, str(s.name) + " " + str(o.name) + " position vectors");
}

void sbObjectTurnKeys(Scene& s, int32_t object, const std::vector<RotationKey>& rotation,
                      const std::vector<TrackKey>& scale) {
    SceneObject& o = s.objects[object];
    void* old = o.rotkeys;
    Base.BS_MemFree(&old);
    old = o.scalekeys;
    Base.BS_MemFree(&old);
    o.rotkeycount = (int32_t)rotation.size();
    o.scalekeycount = (int32_t)scale.size();
    o.rotkeys = copyBlock(rotation, str(s.name) + " " + str(o.name) + " rotation quats");
    o.scalekeys = copyBlock(scale, str(s.name) + " " + str(o.name) + " scale vectors");
}

void sbCamera(Scene& s, const std::vector<TrackKey>& position, const std::vector<TrackKey>& target) {
    void* a = s.camposkeys;
    void* b = s.camtargetkeys;
    Base.BS_MemFree(&a);
    Base.BS_MemFree(&b);
    s.camposkeycount = (int32_t)position.size();
    s.camtargetkeycount = (int32_t)target.size();
    s.camposkeys = copyBlock(position, str(s.name) + " camera positions");
    s.camtargetkeys = copyBlock(target, str(s.name) + " camera target positions");
}

void sbLight(Scene& s, int32_t index, const char* name, Vector pos, Vector diffuse, Vector ambient, Vector specular,
             const std::vector<TrackKey>& keys) {
    if (index < 0 || index >= SceneLightCount) return;
    SceneLight& l = s.lights[index];
    void* old = l.poskeys;
    Base.BS_MemFree(&old);
    l = SceneLight{};
    l.name = S(name);
    l.pos = pos;
    l.diffuse = diffuse;
    l.ambient = ambient;
    l.specular = specular;
    l.enabled = true;
    l.poskeycount = (int32_t)keys.size();
    l.poskeys = copyBlock(keys, str(s.name) + " " + name + " light positions");
}

void sbEmitter(Scene& s, int32_t object, const EmitterSettings& e) {
    SceneObject& o = s.objects[object];
    o.particleenabled = true;
    o.particletexture = S(e.texture ? e.texture : "");
    o.newparticle = e.newparticle;
    o.power = e.power;
    o.deltapower = e.deltapower;
    o.size = e.size;
    o.deltavector = e.deltavector;
    o.deltavectorspread = e.deltavectorspread;
    o.color = e.color;
    o.colorspread = e.colorspread;
    o.colorattrib = e.colorattrib;
}

void sbFinish(Scene& s) {
    s.maxpassno = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        SceneObject& o = s.objects[i];
        if (o.passno > s.maxpassno) s.maxpassno = o.passno;
        std::string prefix = str(s.name) + " " + str(o.name);
        void* old = o.origfaces;
        Base.BS_MemFree(&old);
        o.origfaces = nullptr;
        if (o.facecount > 0) {
            o.origfaces = (Face*)Base.BS_MemGet(sizeof(Face) * (size_t)o.facecount,
                                                (prefix + " orignal face list").c_str());
            std::memcpy(o.origfaces, o.faces, sizeof(Face) * (size_t)o.facecount);
        }
        old = o.neighbours;
        Base.BS_MemFree(&old);
        o.neighbours = nullptr;
        FindNeighbours(o);
    }
}
