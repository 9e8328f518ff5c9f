#include "scene_helpers.h"

#include <stdlib.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>

#include "support/support.h"

void UseBuiltBaseModule() { setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 1); }

namespace {
// Before any test runs: the zlib wrappers bind on first use.
struct BaseModuleForZlib {
    BaseModuleForZlib() { UseBuiltBaseModule(); }
} g_baseModuleForZlib;
}  // namespace

// ------------------------------------------------------------ chunk writer

std::string Bytes(const void* p, size_t n) { return std::string((const char*)p, n); }

std::string Zpack(const std::string& data, int level) {
    uLongf room = compressBound(data.size());
    std::string out(room, '\0');
    if (compress2((Bytef*)out.data(), &room, (const Bytef*)data.data(), data.size(), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(room);
    return out;
}

static void putI32(std::string& out, int32_t v) {
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; ++i) out += (char)(u >> (8 * i) & 0xff);
}

void ChunkWriter::raw(uint8_t type, uint8_t kind, int32_t count, int32_t size, int32_t packedSize, int32_t index,
                      const std::string& payload) {
    bytes += 'F';
    bytes += '!';
    bytes += (char)type;
    bytes += (char)kind;
    putI32(bytes, count);
    putI32(bytes, size);
    putI32(bytes, packedSize);
    putI32(bytes, index);
    bytes += payload;
}

void ChunkWriter::chunk(uint8_t type, uint8_t kind, int32_t index, int32_t count, const void* data, size_t elemSize,
                        bool packed) {
    std::string payload = Bytes(data, (size_t)count * elemSize);
    int32_t size = (int32_t)payload.size();
    if (packed) {
        std::string z = Zpack(payload);
        raw(type, kind, count, size, (int32_t)z.size(), index, z);
    } else {
        raw(type, kind, count, size, 0, index, payload);
    }
}

void ChunkWriter::i32(uint8_t kind, int32_t index, int32_t v, bool packed) { chunk(3, kind, index, 1, &v, 4, packed); }
void ChunkWriter::f32(uint8_t kind, int32_t index, float v, bool packed) { chunk(4, kind, index, 1, &v, 4, packed); }
void ChunkWriter::u8(uint8_t kind, int32_t index, uint8_t v, bool packed) { chunk(1, kind, index, 1, &v, 1, packed); }
void ChunkWriter::flag(uint8_t kind, int32_t index, bool v, bool packed) {
    uint8_t b = v ? 1 : 0;
    chunk(13, kind, index, 1, &b, 1, packed);
}
void ChunkWriter::vec(uint8_t kind, int32_t index, float x, float y, float z, bool packed) {
    float v[3] = {x, y, z};
    chunk(6, kind, index, 1, v, 12, packed);
}
void ChunkWriter::str(uint8_t kind, int32_t index, const std::string& s, bool packed) {
    char rec[256] = {};
    rec[0] = (char)s.size();
    memcpy(rec + 1, s.data(), s.size());
    chunk(8, kind, index, 1, rec, 256, packed);
}

void LoadBytes(Scene& s, const std::string& bytes, const char* name, SceneLoadStats* stats) {
    LoadSceneData(s, S(name), (const uint8_t*)bytes.data(), bytes.size(), stats);
}

// ------------------------------------------------------------ scenes

namespace {

template <class T> T* block(size_t n, const char* label = "test scene data") {
    return (T*)Base.BS_MemGet(n * sizeof(T), label);
}

// Distinct float per call, exact in binary and in its shortest decimal form
// only by chance: the test data should not be friendly numbers.
float g_next = 0.1f;
float nextF() {
    g_next = g_next * 1.37f + 0.731f;
    if (g_next > 1000) g_next -= 997.3f;
    return g_next;
}
Vector nextV() { return Vector{nextF(), -nextF(), nextF()}; }

void fillObjectMesh(SceneObject& o, int32_t verts, int32_t faces) {
    o.vertexcount = verts;
    o.facecount = faces;
    o.vertices = block<Vector>((size_t)verts);
    for (int32_t i = 0; i < verts; ++i) o.vertices[i] = nextV();
    o.faces = block<Face>((size_t)faces);
    o.origfaces = block<Face>((size_t)faces);
    o.neighbours = block<FaceNeighbours>((size_t)faces);
    for (int32_t f = 0; f < faces; ++f) {
        o.faces[f] = Face{f % verts, (f + 1) % verts, (f + 2) % verts};
        o.origfaces[f] = Face{(f + 1) % verts, f % verts, (f + 2) % verts};
        o.neighbours[f] = FaceNeighbours{{(f + 1) % faces, -1, f > 0 ? f - 1 : -1}};
    }
}

}  // namespace

void MakeRichScene(Scene& s) {
    s = Scene{};
    s.versionmajor = 1;
    s.versionminor = 2;
    s.name = S("rich scene");
    s.sceneparam = 77;
    s.camerafov = 0.7853982f;
    s.cameranear = 0.25f;
    s.camerafar = 5000.5f;
    s.viewdistance = 321.5f;
    s.materialscale = 1.75f;
    s.materialcount = 2;
    s.materials = block<Material>(2);
    for (int i = 0; i < 2; ++i) {
        Material& m = s.materials[i];
        m.name = S(i ? "steel" : "glass");
        m.texturename = S(i ? "steel.tga" : "$framebuffer$.jpg");
        m.envmaptexture = S(i ? "env.jpg" : "");
        m.transparency = nextF(), m.utile = nextF(), m.vtile = nextF(), m.alphatest = nextF();
        m.constantalpha = nextF(), m.flaresize = nextF(), m.envmapalpha = nextF();
        m.envmapcolor = nextV();
        m.envmapblend = i == 0;
        m.magtype = 2 + i, m.shine = 40 + i;
        m.envmap = i == 1, m.receivelight = i == 0, m.textured = true;
        m.depthtest = (uint8_t)(1 + i), m.depthfunc = (uint8_t)(3 + i), m.blend = (uint8_t)(2 + i);
        m.texturewrap = 1, m.depth = 32;
        m.ambient = nextV(), m.diffuse = nextV(), m.specular = nextV();
    }
    s.objectcount = 3;
    s.objects = block<SceneObject>(3);
    for (int i = 0; i < 3; ++i) {
        SceneObject& o = s.objects[i];
        o.name = S(i == 0 ? "hull" : i == 1 ? "plain" : "emitter");
        o.material = i % 2;
        o.passno = i;  // 0, 1, 2
        o.rendermode = (uint8_t)(i == 1 ? 1 : 0);
        o.visible = i != 2, o.backfacecull = i == 0, o.castshadow = i == 1, o.scalematerial = i == 0;
        o.cullmode = (uint8_t)i;
        for (int k = 0; k < 16; ++k) o.matrix[k] = nextF();
        o.pivot = nextV(), o.texturescroll = nextV();
        o.fog = i == 0, o.fogmode = (uint8_t)(i + 1), o.fogparams = nextV();
        for (float& c : o.fogcolor) c = nextF();
        o.particletexture = S(i == 2 ? "spark.png" : "");
        o.newparticle = 10 + i, o.power = nextF(), o.deltapower = nextF(), o.size = nextF();
        o.particleenabled = i == 2, o.colorattrib = (uint8_t)(5 + i);
        o.deltavector = nextV(), o.deltavectorspread = nextV(), o.color = nextV(), o.colorspread = nextV();
        if (i < 2) fillObjectMesh(o, 5 + i, 4 + i);
        else o.vertices = nullptr, o.vertexcount = 0;
        o.striplength = i == 1 ? 6 : 0;
        if (i == 1) {
            o.strip = block<uint16_t>(6);
            for (int k = 0; k < 6; ++k) o.strip[k] = (uint16_t)(k % o.vertexcount);
        }
    }
    SceneObject& hull = s.objects[0];
    hull.hascolors = hull.hasuv = hull.hasnormals = true;
    hull.colors = block<Vector>((size_t)hull.vertexcount);
    hull.uvs = block<TexCoord>((size_t)hull.vertexcount);
    hull.normals = block<Vector>((size_t)hull.vertexcount);
    for (int32_t v = 0; v < hull.vertexcount; ++v)
        hull.colors[v] = nextV(), hull.uvs[v] = TexCoord{nextF(), nextF()}, hull.normals[v] = nextV();
    hull.poskeycount = 3, hull.rotkeycount = 2, hull.scalekeycount = 1;
    hull.poskeys = block<TrackKey>(3);
    hull.rotkeys = block<RotationKey>(2);
    hull.scalekeys = block<TrackKey>(1);
    for (int k = 0; k < 3; ++k) hull.poskeys[k] = TrackKey{k * 10, nextV()};
    for (int k = 0; k < 2; ++k) hull.rotkeys[k] = RotationKey{k * 20, {nextF(), nextF(), nextF(), nextF()}};
    hull.scalekeys[0] = TrackKey{5, nextV()};
    s.camposkeycount = 3, s.camtargetkeycount = 2;
    s.camposkeys = block<TrackKey>(3);
    s.camtargetkeys = block<TrackKey>(2);
    for (int k = 0; k < 3; ++k) s.camposkeys[k] = TrackKey{k * 10, nextV()};
    for (int k = 0; k < 2; ++k) s.camtargetkeys[k] = TrackKey{k * 20, nextV()};
    for (int l = 0; l < SceneLightCount; ++l) {
        SceneLight& L = s.lights[l];
        L.name = S("light" + std::to_string(l));
        L.pos = nextV(), L.ambient = nextV(), L.diffuse = nextV(), L.specular = nextV();
        L.enabled = l % 3 == 0;
        if (l == 2 || l == 5) {
            L.poskeycount = l == 2 ? 2 : 1;
            L.poskeys = block<TrackKey>((size_t)L.poskeycount);
            for (int k = 0; k < L.poskeycount; ++k) L.poskeys[k] = TrackKey{k * 7, nextV()};
        }
    }
}

void MakeTetraScene(Scene& s, const char* name) {
    s = Scene{};
    s.versionmajor = 1;
    s.versionminor = 2;
    s.name = S(name);
    s.materialcount = 1;
    s.materials = block<Material>(1);
    s.materials[0].name = S("matte");
    s.objectcount = 1;
    s.objects = block<SceneObject>(1);
    SceneObject& o = s.objects[0];
    o.name = S("tetra");
    o.vertexcount = 4;
    o.facecount = 4;
    o.vertices = block<Vector>(4);
    o.vertices[0] = {0, 0, 0}, o.vertices[1] = {1, 0, 0}, o.vertices[2] = {0, 1, 0}, o.vertices[3] = {0, 0, 1};
    o.faces = block<Face>(4);
    o.faces[0] = {0, 2, 1}, o.faces[1] = {0, 1, 3}, o.faces[2] = {1, 2, 3}, o.faces[3] = {0, 3, 2};
    o.origfaces = block<Face>(4);
    for (int f = 0; f < 4; ++f) o.origfaces[f] = o.faces[f];
    o.neighbours = block<FaceNeighbours>(4);
    for (int f = 0; f < 4; ++f) o.neighbours[f] = FaceNeighbours{{-1, -1, -1}};
}

// ------------------------------------------------------------ comparison

namespace {

struct Cmp {
    std::vector<std::string>* out;
    std::set<std::string> skip;
};

template <class T> void cmpValue(Cmp& c, const std::string& path, const T& a, const T& b) {
    if (memcmp(&a, &b, sizeof(T)) != 0) c.out->push_back(path);
}
void cmpValue(Cmp& c, const std::string& path, const bool& a, const bool& b) {
    if (a != b) c.out->push_back(path);
}
void cmpValue(Cmp& c, const std::string& path, const ShortString& a, const ShortString& b) {
    if (memcmp(&a, &b, 256) != 0) c.out->push_back(path);
}
void cmpValue(Cmp& c, const std::string& path, const Material& a, const Material& b);
void cmpValue(Cmp& c, const std::string& path, const SceneObject& a, const SceneObject& b);
void cmpValue(Cmp& c, const std::string& path, const SceneLight& a, const SceneLight& b);
void cmpValue(Cmp& c, const std::string& path, const SceneLightSet& a, const SceneLightSet& b) {
    for (int i = 0; i < SceneLightCount; ++i) cmpValue(c, path + "[" + std::to_string(i) + "]", a[i], b[i]);
}

template <class T> void cmpArray(Cmp& c, const std::string& path, const T* a, const T* b, int64_t na, int64_t nb) {
    if (!a && !b) return;
    if (!a || !b || na != nb) {
        // An empty block and no block hold the same nothing.
        if ((a ? na : 0) == 0 && (b ? nb : 0) == 0) return;
        c.out->push_back(path + " (presence or length)");
        return;
    }
    for (int64_t i = 0; i < na; ++i) cmpValue(c, path + "[" + std::to_string(i) + "]", a[i], b[i]);
}

#define CMP_FIELD(type, name) \
    if (!c.skip.count(#name)) cmpValue(c, path + "." #name, a.name, b.name);
#define CMP_ARRAY(type, name, length)                                                     \
    if (!c.skip.count(#name)) {                                                           \
        auto n = [](const auto& r) { return (int64_t)(length); };                         \
        cmpArray(c, path + "." #name, (const type*)a.name, (const type*)b.name, n(a), n(b)); \
    }
#define CMP_NOTHING(type, name, length)

void cmpValue(Cmp& c, const std::string& path, const Material& a, const Material& b) {
    MATERIAL_FIELDS(CMP_FIELD, CMP_ARRAY, CMP_NOTHING)
}
void cmpValue(Cmp& c, const std::string& path, const SceneObject& a, const SceneObject& b) {
    SCENE_OBJECT_FIELDS(CMP_FIELD, CMP_ARRAY, CMP_NOTHING)
}
void cmpValue(Cmp& c, const std::string& path, const SceneLight& a, const SceneLight& b) {
    SCENE_LIGHT_FIELDS(CMP_FIELD, CMP_ARRAY, CMP_NOTHING)
}
void cmpScene(Cmp& c, const std::string& path, const Scene& a, const Scene& b) {
    SCENE_FIELDS(CMP_FIELD, CMP_ARRAY, CMP_NOTHING)
}

#undef CMP_FIELD
#undef CMP_ARRAY
#undef CMP_NOTHING

}  // namespace

std::vector<std::string> FileFieldDifferences(const Scene& a, const Scene& b) {
    std::vector<std::string> out;
    // Run-time and worked-out fields, and what the saver writes on its own.
    Cmp c{&out,
          {"chunkcount", "versionmajor", "versionminor", "maxpassno", "shadowquadcount", "camposease",
           "camtargetease", "volumeindex", "particlecount", "shadowlength", "glname", "depth", "envmapglname",
           "flarecolor", "particleglname", "wireframe", "spareflag", "rotation", "facenormals", "facecenters"}};
    cmpScene(c, "scene", a, b);
    return out;
}

// The linked module's own counters.
extern "C" size_t BS_MemLabelBytes(const char* label) __attribute__((weak));
extern "C" size_t BS_MemCount(void) __attribute__((weak));

size_t LiveBlocks() { return BS_MemCount ? BS_MemCount() : 0; }
size_t LabelBytes(const std::string& label) { return BS_MemLabelBytes ? BS_MemLabelBytes(label.c_str()) : 0; }

// ------------------------------------------------------------ JSON

namespace {

struct JsonParser {
    const std::string& t;
    size_t p = 0;
    [[noreturn]] void fail(const char* what) {
        throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(p));
    }
    void ws() {
        while (p < t.size() && (t[p] == ' ' || t[p] == '\n' || t[p] == '\r' || t[p] == '\t')) ++p;
    }
    bool eat(char c) {
        ws();
        if (p < t.size() && t[p] == c) return ++p, true;
        return false;
    }
    std::string str() {
        if (!eat('"')) fail("string expected");
        std::string s;
        while (p < t.size() && t[p] != '"') {
            char c = t[p++];
            if (c != '\\') {
                s += c;
                continue;
            }
            if (p >= t.size()) fail("bad escape");
            char e = t[p++];
            switch (e) {
            case 'n': s += '\n'; break;
            case 't': s += '\t'; break;
            case 'r': s += '\r'; break;
            case 'u': {
                if (p + 4 > t.size()) fail("bad \\u");
                unsigned v = (unsigned)std::stoul(t.substr(p, 4), nullptr, 16);
                p += 4;
                if (v > 0xff) fail("\\u above 0xff");
                s += (char)v;
                break;
            }
            default: s += e;
            }
        }
        if (p >= t.size()) fail("unterminated string");
        ++p;
        return s;
    }
    Json value() {
        ws();
        if (p >= t.size()) fail("value expected");
        Json v;
        char c = t[p];
        if (c == '{') {
            ++p;
            v.kind = Json::Object;
            if (eat('}')) return v;
            do {
                std::string k = str();
                if (!eat(':')) fail("':' expected");
                v.members.emplace_back(k, value());
            } while (eat(','));
            if (!eat('}')) fail("'}' expected");
        } else if (c == '[') {
            ++p;
            v.kind = Json::Array;
            if (eat(']')) return v;
            do v.items.push_back(value());
            while (eat(','));
            if (!eat(']')) fail("']' expected");
        } else if (c == '"') {
            v.kind = Json::String;
            v.s = str();
        } else if (t.compare(p, 4, "null") == 0) {
            p += 4;
        } else if (t.compare(p, 4, "true") == 0) {
            p += 4, v.kind = Json::Bool, v.b = true;
        } else if (t.compare(p, 5, "false") == 0) {
            p += 5, v.kind = Json::Bool;
        } else {
            size_t used = 0;
            v.kind = Json::Number;
            try {
                v.n = std::stod(t.substr(p, 40), &used);
            } catch (...) {
                fail("number expected");
            }
            p += used;
        }
        return v;
    }
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
    for (auto& [k, v] : members)
        if (k == key) return v;
    throw std::runtime_error("JSON: no key " + key);
}
const Json& Json::operator[](size_t i) const {
    if (i >= items.size()) throw std::runtime_error("JSON: no item " + std::to_string(i));
    return items[i];
}
bool Json::has(const std::string& key) const {
    for (auto& [k, v] : members)
        if (k == key) return true;
    return false;
}
std::vector<std::string> Json::keys() const {
    std::vector<std::string> out;
    for (auto& [k, v] : members) out.push_back(k);
    return out;
}

Json ParseJson(const std::string& text) {
    JsonParser p{text};
    Json v = p.value();
    p.ws();
    if (p.p != text.size()) p.fail("trailing text");
    return v;
}
