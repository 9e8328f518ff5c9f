// Scene file speed: the loader against a plain inflate of the same packed
// bytes, and the neighbour search on a large closed mesh.
//
//   build/bench/bench_scene [TRIANGLES [LEVEL]]   (about a million, level 9)
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "scene/precalc.h"
#include "scene/scenefile.h"
#include "support/support.h"

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of this thread: what the work costs when the machine is shared.
double cpuNow() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

struct Span {
    double wall, cpu;
};
Span since(double wall0, double cpu0) { return Span{now() - wall0, cpuNow() - cpu0}; }
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class T> T* block(size_t n) { return (T*)Base.BS_MemGet(n * sizeof(T), "bench"); }

// A closed grid on a torus: every edge shared by exactly two faces.
void torusObject(SceneObject& o, int nx, int ny, bool attributes) {
    o.vertexcount = nx * ny;
    o.facecount = 2 * nx * ny;
    o.vertices = block<Vector>((size_t)o.vertexcount);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            double u = 2 * M_PI * x / nx, v = 2 * M_PI * y / ny;
            double r = 3 + std::cos(v) + 0.01 * std::sin(7 * u + 3 * v);
            o.vertices[y * nx + x] = Vector{(float)(r * std::cos(u)), (float)(r * std::sin(u)), (float)std::sin(v)};
        }
    o.faces = block<Face>((size_t)o.facecount);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            int x1 = (x + 1) % nx, y1 = (y + 1) % ny;
            int a = y * nx + x, b = y * nx + x1, c = y1 * nx + x, d = y1 * nx + x1;
            o.faces[2 * (y * nx + x)] = Face{a, b, d};
            o.faces[2 * (y * nx + x) + 1] = Face{a, d, c};
        }
    o.origfaces = block<Face>((size_t)o.facecount);
    memcpy(o.origfaces, o.faces, (size_t)o.facecount * sizeof(Face));
    if (attributes) {
        o.hasnormals = o.hasuv = true;
        o.normals = block<Vector>((size_t)o.vertexcount);
        o.uvs = block<TexCoord>((size_t)o.vertexcount);
        for (int i = 0; i < o.vertexcount; ++i) {
            o.normals[i] = vecNormalize(o.vertices[i]);
            o.uvs[i] = TexCoord{(float)(i % nx) / nx, (float)(i / nx) / ny};
        }
    }
}

// The same packed chunks, inflated and nothing else.
Span plainInflate(const std::string& file, size_t* packedBytes, size_t* outBytes) {
    std::vector<void*> outs;
    double t0 = now(), c0 = cpuNow();
    size_t pos = 0;
    *packedBytes = *outBytes = 0;
    while (pos + 20 <= file.size()) {
        const unsigned char* h = (const unsigned char*)file.data() + pos;
        int32_t size, packed;
        memcpy(&size, h + 8, 4);
        memcpy(&packed, h + 12, 4);
        pos += 20;
        if (packed) {
            void* out = malloc(size ? (size_t)size : 1);
            uLongf len = (uLongf)size;
            if (uncompress((Bytef*)out, &len, h + 20, (uLong)packed) != Z_OK) abort();
            outs.push_back(out);
            *packedBytes += (size_t)packed;
            *outBytes += (size_t)size;
            pos += (size_t)packed;
        } else {
            pos += (size_t)size;
        }
    }
    Span t = since(t0, c0);
    for (void* p : outs) free(p);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    BindLinkedBase();
    // zlib through "Base": the built module when it is there, else zlib.
    std::string built = ShowDir() + "/Modules/Base.so";
    setenv("VELMAR_MODULE_BASE", access(built.c_str(), R_OK) == 0 ? built.c_str() : "libz.so.1", 1);
    long triangles = argc > 1 ? atol(argv[1]) : 1000000;
    int level = argc > 2 ? atoi(argv[2]) : 9;
    SetCompressionLevel(level);

    // A scene of 8 closed objects with normals and UVs.
    Scene s{};
    s.versionmajor = 1, s.versionminor = 2;
    s.name = S("bench");
    s.materialcount = 1;
    s.materials = block<Material>(1);
    s.objectcount = 8;
    s.objects = block<SceneObject>(8);
    int side = (int)std::sqrt((double)triangles / 16);
    for (int i = 0; i < 8; ++i) {
        s.objects[i].name = S("part" + std::to_string(i));
        torusObject(s.objects[i], side, side, true);
        FindNeighbours(s.objects[i]);
    }
    double t0 = now();
    std::string file = SaveSceneData(s);
    double saveTime = now() - t0;
    long faces = (long)SceneFaceTotal(s);
    ReleaseScene(s);
    std::string dir = MakeTempDir("bench");
    std::string path = dir + "/bench.vlm";
    WriteFile(path, file);
    printf("scene: %ld triangles in 8 objects, file %.1f MB (saved at level %d in %.0f ms)\n", faces,
           file.size() / 1e6, level, saveTime * 1e3);

    const int runs = 7;
    std::vector<double> loadWall, loadCpu, zWall, zCpu, memWall, memCpu;
    size_t packed = 0, inflated = 0;
    for (int r = 0; r < runs; ++r) {
        Span z = plainInflate(file, &packed, &inflated);
        zWall.push_back(z.wall), zCpu.push_back(z.cpu);
        Scene a{};
        double w0 = now(), c0 = cpuNow();
        LoadScene(a, S(path));
        Span l = since(w0, c0);
        loadWall.push_back(l.wall), loadCpu.push_back(l.cpu);
        ReleaseScene(a);
        Scene b{};
        w0 = now(), c0 = cpuNow();
        LoadSceneData(b, S(path), (const uint8_t*)file.data(), file.size());
        Span m = since(w0, c0);
        memWall.push_back(m.wall), memCpu.push_back(m.cpu);
        ReleaseScene(b);
    }
    double zw = median(zWall), zc = median(zCpu);
    printf("medians of %d runs          wall ms   cpu ms   (cpu x inflate)\n", runs);
    printf("plain inflate             %8.1f %8.1f            %.1f MB packed -> %.1f MB\n", zw * 1e3, zc * 1e3,
           packed / 1e6, inflated / 1e6);
    printf("LoadScene (from the file) %8.1f %8.1f   %.2f x     %.0f MB/s out (cpu)\n", median(loadWall) * 1e3,
           median(loadCpu) * 1e3, median(loadCpu) / zc, inflated / 1e6 / median(loadCpu));
    printf("LoadSceneData (in memory) %8.1f %8.1f   %.2f x\n", median(memWall) * 1e3, median(memCpu) * 1e3,
           median(memCpu) / zc);

    // What fresh memory costs here: the loader fills about twice as many new
    // bytes as the inflate writes (normals, centres, the shadow index).
    {
        const size_t n = 100u << 20;
        std::vector<double> freshCpu, warmCpu;
        for (int r = 0; r < 3; ++r) {
            char* p = (char*)malloc(n);
            double c0 = cpuNow();
            memset(p, r + 1, n);
            freshCpu.push_back(cpuNow() - c0);
            c0 = cpuNow();
            memset(p, r + 2, n);
            warmCpu.push_back(cpuNow() - c0);
            free(p);
        }
        printf("writing 100 MB            fresh pages %.1f ms cpu, mapped pages %.1f ms cpu\n",
               median(freshCpu) * 1e3, median(warmCpu) * 1e3);
    }

    // The neighbour search on a closed mesh of about 200 000 faces.
    SceneObject o{};
    torusObject(o, 316, 316, false);
    std::vector<double> searchWall, searchCpu;
    for (int r = 0; r < runs; ++r) {
        double w0 = now(), c0 = cpuNow();
        FindNeighbours(o);
        Span t = since(w0, c0);
        searchWall.push_back(t.wall), searchCpu.push_back(t.cpu);
    }
    printf("neighbour search          %8.1f %8.1f            %d faces, closed mesh\n", median(searchWall) * 1e3,
           median(searchCpu) * 1e3, o.facecount);
    RemoveTree(dir);
    return 0;
}
