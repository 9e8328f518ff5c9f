#include "draw_helpers.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "../tl/fixtures.h"
#include "frame/frame.h"
#include "glbind/glbind.h"
#include "render/tracks.h"
#include "scene/precalc.h"
#include "support/support.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

// Saving and loading scene files takes zlib from the Base module by name:
// the linked Base finds none beside the test program, so name the built one.
struct BaseModuleForZlib {
    BaseModuleForZlib() { setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 1); }
} g_baseModuleForZlib;

template <class T>
T* Block(size_t n, const char* label) {
    return (T*)Base.BS_MemGet(n * sizeof(T), label);
}

template <class T>
T* CopyBlock(const std::vector<T>& v, const char* label) {
    T* b = Block<T>(v.size(), label);
    if (!v.empty()) std::memcpy((void*)b, v.data(), v.size() * sizeof(T));
    return b;
}

// Grows a record table by one, keeping its records; the new one is cleared.
template <class T>
T* Grow(T* old, int32_t count, const char* label) {
    T* b = Block<T>((size_t)count + 1, label);
    if (old) {
        std::memcpy((void*)b, old, (size_t)count * sizeof(T));
        void* p = old;
        Base.BS_MemFree(&p);
    }
    return b;
}

void FreeBlock(void* p) {
    if (p) Base.BS_MemFree(&p);
}

Vector V(float x, float y, float z) { return Vector{x, y, z}; }

float Dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Orders (a, b, c) counter-clockwise as seen from the side `outward` points to.
Face Facing(const std::vector<Vector>& v, int32_t a, int32_t b, int32_t c, Vector outward) {
    Vector n = vecCross(vecSub(v[b], v[a]), vecSub(v[c], v[a]));
    return Dot(n, outward) > 0 ? Face{a, b, c} : Face{a, c, b};
}

std::string Inner(const std::string& line, const std::string& prefix) {
    return line.substr(prefix.size(), line.size() - prefix.size() - 1);
}

bool Starts(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

}  // namespace

// ------------------------------------------------------------ scenes in code

void InitScene(Scene& s, const char* name, Vector eye, Vector target) {
    s = Scene{};
    s.name = S(name);
    s.versionmajor = 1, s.versionminor = 2;
    s.camerafov = (float)(45.0 * 3.14159265358979323846 / 180.0);
    s.cameranear = 1, s.camerafar = 1000;
    s.viewdistance = 1000;
    s.shadowlength = 1000;
    s.materialscale = 1;
    for (int i = 0; i < SceneLightCount; ++i) s.lights[i].name = S("light" + std::to_string(i));
    SetCameraTracks(s, {{0, eye}}, {{0, target}});
}

void SetCameraTracks(Scene& s, const std::vector<TrackKey>& eye, const std::vector<TrackKey>& target) {
    FreeBlock(s.camposkeys), FreeBlock(s.camtargetkeys), FreeBlock(s.camposease), FreeBlock(s.camtargetease);
    s.camposkeys = eye.empty() ? nullptr : CopyBlock(eye, "test camera position");
    s.camtargetkeys = target.empty() ? nullptr : CopyBlock(target, "test camera target");
    s.camposkeycount = (int32_t)eye.size();
    s.camtargetkeycount = (int32_t)target.size();
    s.camposease = s.camtargetease = nullptr;
    if (!eye.empty() && !target.empty()) {
        s.camposease = Block<Vector>(eye.size(), "test camera position ease");
        s.camtargetease = Block<Vector>(target.size(), "test camera target ease");
        computeEase(s);
    }
}

int32_t AddMaterial(Scene& s) {
    s.materials = Grow(s.materials, s.materialcount, "test materials");
    Material& m = s.materials[s.materialcount];
    m.name = S("mat" + std::to_string(s.materialcount));
    m.ambient = m.diffuse = m.specular = V(1, 1, 1);
    m.constantalpha = 1;
    m.utile = m.vtile = 1;
    m.depth = 24;
    m.envmapalpha = 1;
    return s.materialcount++;
}

int32_t AddMesh(Scene& s, int32_t material, const std::vector<Vector>& vertices, const std::vector<Face>& faces) {
    s.objects = Grow(s.objects, s.objectcount, "test objects");
    SceneObject& o = s.objects[s.objectcount];
    o.name = S("obj" + std::to_string(s.objectcount));
    o.visible = true;
    o.material = material;
    o.vertexcount = (int32_t)vertices.size();
    o.facecount = (int32_t)faces.size();
    o.vertices = CopyBlock(vertices, "test vertices");
    o.faces = CopyBlock(faces, "test faces");
    o.origfaces = CopyBlock(faces, "test origfaces");
    return s.objectcount++;
}

int32_t AddTriangle(Scene& s, int32_t material, Vector pivot) {
    int32_t i = AddMesh(s, material, {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)}, {{0, 1, 2}});
    s.objects[i].pivot = pivot;
    return i;
}

int32_t AddCube(Scene& s, int32_t material, Vector c, float h, bool flat) {
    std::vector<Vector> v;
    std::vector<Face> f;
    std::vector<Vector> normals;
    std::vector<TexCoord> uvs;
    // Each side: its outward axis and two axes along it.
    const Vector axes[3] = {V(1, 0, 0), V(0, 1, 0), V(0, 0, 1)};
    auto corner = [&](int i) {
        return V(c.x + ((i & 1) ? h : -h), c.y + ((i & 2) ? h : -h), c.z + ((i & 4) ? h : -h));
    };
    if (!flat)
        for (int i = 0; i < 8; ++i) v.push_back(corner(i));
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            Vector out = vecScale(axes[axis], side ? 1.0f : -1.0f);
            int bit = 1 << axis, u = 1 << ((axis + 1) % 3), w = 1 << ((axis + 2) % 3);
            int base = side ? bit : 0;
            int quad[4] = {base, base | u, base | u | w, base | w};  // a cycle round the side
            int32_t idx[4];
            for (int k = 0; k < 4; ++k) {
                if (flat) {
                    idx[k] = (int32_t)v.size();
                    v.push_back(corner(quad[k]));
                    normals.push_back(out);
                    const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
                    uvs.push_back(TexCoord{us[k], vs[k]});
                } else {
                    idx[k] = quad[k];
                }
            }
            f.push_back(Facing(v, idx[0], idx[1], idx[2], out));
            f.push_back(Facing(v, idx[0], idx[2], idx[3], out));
        }
    }
    int32_t i = AddMesh(s, material, v, f);
    SceneObject& o = s.objects[i];
    o.pivot = c;
    if (flat) {
        o.hasnormals = o.hasuv = true;
        o.normals = CopyBlock(normals, "test normals");
        o.uvs = CopyBlock(uvs, "test uvs");
    }
    return i;
}

int32_t AddFloor(Scene& s, int32_t material, float x0, float y0, float x1, float y1, float z) {
    int32_t i = AddMesh(s, material, {V(x0, y0, z), V(x1, y0, z), V(x1, y1, z), V(x0, y1, z)}, {{0, 1, 2}, {0, 2, 3}});
    SceneObject& o = s.objects[i];
    o.hasnormals = o.hasuv = true;
    o.normals = CopyBlock(std::vector<Vector>(4, V(0, 0, 1)), "test normals");
    o.uvs = CopyBlock(std::vector<TexCoord>{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, "test uvs");
    return i;
}

void SetObjectTrack(Scene& s, int32_t object, const std::vector<TrackKey>& keys) {
    SceneObject& o = s.objects[object];
    FreeBlock(o.poskeys);
    o.poskeys = CopyBlock(keys, "test object track");
    o.poskeycount = (int32_t)keys.size();
}

void SetLightTrack(Scene& s, int light, const std::vector<TrackKey>& keys) {
    SceneLight& l = s.lights[light];
    FreeBlock(l.poskeys);
    l.poskeys = CopyBlock(keys, "test light track");
    l.poskeycount = (int32_t)keys.size();
}

void FinishScene(Scene& s) {
    s.maxpassno = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        PrepareObjectGeometry(s.objects[i]);
        FindNeighbours(s.objects[i]);
        if (s.objects[i].passno > s.maxpassno) s.maxpassno = s.objects[i].passno;
    }
    PrepareVolumes(s);
}

// ------------------------------------------------------------ traces

std::vector<std::string> Slice(const std::vector<std::string>& lines, size_t from, size_t to) {
    if (to > lines.size()) to = lines.size();
    if (from > to) from = to;
    return std::vector<std::string>(lines.begin() + from, lines.begin() + to);
}

int Find(const std::vector<std::string>& lines, const std::string& line, size_t from) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i] == line) return (int)i;
    return -1;
}

int FindPrefix(const std::vector<std::string>& lines, const std::string& prefix, size_t from) {
    for (size_t i = from; i < lines.size(); ++i)
        if (Starts(lines[i], prefix)) return (int)i;
    return -1;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
    int n = 0;
    for (const std::string& l : lines) n += l == line;
    return n;
}

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines) n += Starts(l, prefix);
    return n;
}

std::vector<DrawState> ReplayDraws(const std::vector<std::string>& lines) {
    std::vector<DrawState> out;
    DrawState st;
    auto cap = [&](const std::string& name) -> bool* {
        if (name == "GL_BLEND") return &st.blend;
        if (name == "GL_DEPTH_TEST") return &st.depthTest;
        if (name == "GL_ALPHA_TEST") return &st.alphaTest;
        if (name == "GL_CULL_FACE") return &st.cull;
        if (name == "GL_LIGHTING") return &st.lighting;
        if (name == "GL_TEXTURE_2D") return &st.texture;
        if (name == "GL_FOG") return &st.fog;
        return nullptr;
    };
    for (const std::string& l : lines) {
        if (Starts(l, "glEnable(")) {
            if (bool* b = cap(Inner(l, "glEnable("))) *b = true;
        } else if (Starts(l, "glDisable(")) {
            if (bool* b = cap(Inner(l, "glDisable("))) *b = false;
        } else if (Starts(l, "glBlendFunc(")) {
            st.blendFunc = Inner(l, "glBlendFunc(");
        } else if (Starts(l, "glDepthMask(")) {
            st.depthMask = Inner(l, "glDepthMask(") == "GL_TRUE";
        } else if (Starts(l, "glDepthFunc(")) {
            st.depthFunc = Inner(l, "glDepthFunc(");
        } else if (Starts(l, "glAlphaFunc(")) {
            st.alphaFunc = Inner(l, "glAlphaFunc(");
        } else if (Starts(l, "glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, ")) {
            st.shine = std::stoi(Inner(l, "glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, "));
        } else if (Starts(l, "glBindTexture(GL_TEXTURE_2D, ")) {
            st.texture2d = Inner(l, "glBindTexture(GL_TEXTURE_2D, ");
        } else if (Starts(l, "glDrawElements(")) {
            st.call = l;
            out.push_back(st);
        }
    }
    return out;
}

std::vector<int> DrawnShines(const std::vector<std::string>& lines) {
    std::vector<int> out;
    for (const DrawState& d : ReplayDraws(lines)) out.push_back(d.shine);
    return out;
}

std::string DataHash(const void* data, size_t bytes) {
    uint32_t h = 2166136261u;
    const unsigned char* b = (const unsigned char*)data;
    for (size_t i = 0; i < bytes; ++i) h = (h ^ b[i]) * 16777619u;
    char t[16];
    std::snprintf(t, sizeof t, "#%08x", h);
    return t;
}

// ------------------------------------------------------------ real pixels

Picture ReadPicture(int w, int h) {
    Picture p;
    p.w = w, p.h = h;
    p.rgb.assign((size_t)w * h * 3, 0);
    GL.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    GL.glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, p.rgb.data());
    return p;
}

std::vector<float> ReadDepth(int w, int h) {
    std::vector<float> d((size_t)w * h, 0.0f);
    GL.glReadPixels(0, 0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, d.data());
    return d;
}

WindowPoint ProjectPoint(Vector p) {
    GLfloat mv[16], pr[16];
    GLint vp[4];
    GL.glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    GL.glGetFloatv(GL_PROJECTION_MATRIX, pr);
    GL.glGetIntegerv(GL_VIEWPORT, vp);
    double in[4] = {p.x, p.y, p.z, 1}, eye[4], clip[4];
    for (int r = 0; r < 4; ++r) eye[r] = mv[r] * in[0] + mv[4 + r] * in[1] + mv[8 + r] * in[2] + mv[12 + r] * in[3];
    for (int r = 0; r < 4; ++r)
        clip[r] = pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
    WindowPoint w{0, 0, 0, false};
    if (clip[3] <= 0) return w;
    double nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
    w.x = (float)(vp[0] + (nx + 1) * 0.5 * vp[2]);
    w.y = (float)(vp[1] + (ny + 1) * 0.5 * vp[3]);
    w.depth = (float)((nz + 1) * 0.5);
    w.inside = std::fabs(nx) < 1 && std::fabs(ny) < 1 && std::fabs(nz) < 1;
    return w;
}

std::string TgaRgb(int w, int h, const std::vector<uint8_t>& rgb) {
    fx::Rgba px;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) px.insert(px.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    return fx::Tga(w, h, 24, px, true);
}

Picture ReadPng(const std::string& path) {
    Picture p;
    int n = 0;
    unsigned char* data = stbi_load(path.c_str(), &p.w, &p.h, &n, 3);
    if (!data) return Picture{};
    p.rgb.resize((size_t)p.w * p.h * 3);
    size_t stride = (size_t)p.w * 3;
    for (int y = 0; y < p.h; ++y) std::memcpy(&p.rgb[(size_t)y * stride], data + (size_t)(p.h - 1 - y) * stride, stride);
    stbi_image_free(data);
    return p;
}
