#include "draw_helpers.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "scene/precalc.h"

// Saving and loading scene files takes zlib from the Base module by name:
// the linked Base finds none beside the test program, so name the built one.
static const int g_baseModuleForZlib = setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 1);

void InitScene(Scene& s, const char* name, Vector eye, Vector target) {
    sbBegin(s, name);
    s.camerafov = (float)(M_PI / 4);
    SetCameraTracks(s, {{0, eye}}, {{0, target}});
}

void SetCameraTracks(Scene& s, const Keys& eye, const Keys& target) {
    sbCamera(s, eye, target);
    Base.BS_MemFree((void**)&s.camposease), Base.BS_MemFree((void**)&s.camtargetease);
    s.camposease = (Vector*)Base.BS_MemGet(eye.size() * sizeof(Vector), "test ease");
    s.camtargetease = (Vector*)Base.BS_MemGet(target.size() * sizeof(Vector), "test ease");
    computeEase(s);
}

int32_t AddMaterial(Scene& s) {
    int32_t i = sbMaterial(s, "mat");
    Material& m = s.materials[i];
    m.ambient = m.specular = Vector{1, 1, 1};
    m.shine = m.depthfunc = m.magtype = 0, m.receivelight = false, m.envmapalpha = 1;
    return i;
}

int32_t AddMesh(Scene& s, int32_t material, const Mesh& mesh, Vector pivot) {
    int32_t i = sbObject(s, ("obj" + std::to_string(s.objectcount)).c_str(), material, mesh);
    s.objects[i].backfacecull = s.objects[i].castshadow = false;
    s.objects[i].pivot = pivot;
    return i;
}

int32_t AddTriangle(Scene& s, int32_t material, Vector pivot) {
    return AddMesh(s, material, {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {}, {{0, 1, 2}}}, pivot);
}

int32_t AddCube(Scene& s, int32_t material, Vector centre, float half, bool flat) {
    Mesh box = meshMove(meshBox({2 * half, 2 * half, 2 * half}), centre), shared;
    for (Face f : box.faces) {
        for (int32_t* k : {&f.a, &f.b, &f.c}) {
            Vector v = box.vertices[*k];
            auto at = std::find_if(shared.vertices.begin(), shared.vertices.end(),
                                   [&](Vector u) { return u.x == v.x && u.y == v.y && u.z == v.z; });
            *k = (int32_t)(at - shared.vertices.begin());
            if (at == shared.vertices.end()) shared.vertices.push_back(v);
        }
        shared.faces.push_back(f);
    }
    return AddMesh(s, material, flat ? box : shared, centre);
}

int32_t AddFloor(Scene& s, int32_t material, float x0, float y0, float x1, float y1, float z) {
    return AddMesh(s, material, meshMove(meshPlane(x1 - x0, y1 - y0), {(x0 + x1) / 2, (y0 + y1) / 2, z}));
}

void FinishScene(Scene& s) {
    sbFinish(s);
    for (int32_t i = 0; i < s.objectcount; ++i) PrepareObjectGeometry(s.objects[i]);
    PrepareVolumes(s);
}

std::string Joined(const Lines& lines, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < std::min(to, lines.size()); ++i) out += (i > from ? "; " : "") + lines[i];
    return out;
}

int Find(const Lines& lines, const std::string& call, size_t from) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].compare(0, call.size(), call) == 0) return (int)i;
    return -1;
}

int Count(const Lines& lines, const std::string& call) {
    auto starts = [&](const std::string& l) { return l.compare(0, call.size(), call) == 0; };
    return (int)std::count_if(lines.begin(), lines.end(), starts);
}

std::vector<int> DrawnShines(const Lines& lines) {
    std::vector<int> out;
    int last = -1;
    for (const std::string& l : lines) {
        if (l.compare(0, 45, "glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, ") == 0) last = std::stoi(l.substr(45));
        if (l.compare(0, 15, "glDrawElements(") == 0) out.push_back(last);
    }
    return out;
}

std::string DataHash(const void* data, size_t bytes) {
    uint32_t h = 2166136261u;  // FNV-1a, as the recording GL hashes
    for (size_t i = 0; i < bytes; ++i) h = (h ^ ((const unsigned char*)data)[i]) * 16777619u;
    char t[16];
    return std::string(t, std::snprintf(t, sizeof t, "#%08x", h));
}

testing::AssertionResult IsTrace(const Lines& got, const std::string& name) {
    std::ifstream in(std::string(VELMAR_TEST_SOURCE_DIR) + "/tests/draw/traces.txt");
    Lines want;
    bool on = false;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("== ", 0) == 0) on = l == "== " + name;
        else if (on && !l.empty()) want.push_back(l);
    }
    if (const char* dir = getenv("VELMAR_TRACES_OUT")) {  // what was drawn, for a changed section
        std::ofstream o(std::string(dir) + "/" + name);
        for (auto& l : got) o << l << "\n";
    }
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i)
        if (i >= got.size() || i >= want.size() || got[i] != want[i])
            return testing::AssertionFailure() << name << ", call " << i + 1 << ": " << (i < got.size() ? got[i] : "-")
                                               << " instead of " << (i < want.size() ? want[i] : "-");
    return testing::AssertionSuccess();
}
