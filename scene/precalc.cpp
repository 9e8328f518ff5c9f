#include "precalc.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "../frame/base.h"

void AdviseLargeBlock(void* block, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const uintptr_t huge = 2u << 20;
    if (bytes < 4 * huge) return;
    uintptr_t from = ((uintptr_t)block + huge - 1) & ~(huge - 1);
    uintptr_t to = ((uintptr_t)block + bytes) & ~(huge - 1);
    if (to > from) madvise((void*)from, to - from, MADV_HUGEPAGE);
#endif
}

void PrepareObjectGeometry(SceneObject& o) {
    size_t n = o.facecount > 0 ? (size_t)o.facecount : 0;
    Base.BS_MemFree((void**)&o.lightvisible);
    Base.BS_MemFree((void**)&o.contour);
    Base.BS_MemFree((void**)&o.facecenters);
    Base.BS_MemFree((void**)&o.facenormals);
    o.lightvisible = (uint8_t*)Base.BS_MemGet(n, " lightvisible calc ");
    o.contour = (ContourFlags*)Base.BS_MemGet(n * sizeof(ContourFlags), " contour calc ");
    o.facecenters = (Vector*)Base.BS_MemGet(n * sizeof(Vector), " face center stored ");
    o.facenormals = (Vector*)Base.BS_MemGet(n * sizeof(Vector), " face normal precalc ");
    AdviseLargeBlock(o.facecenters, n * sizeof(Vector));
    AdviseLargeBlock(o.facenormals, n * sizeof(Vector));
    const Vector* v = o.vertices;
    for (size_t f = 0; f < n; ++f) {
        const Face& face = o.faces[f];
        Vector va = v[face.a], vb = v[face.b], vc = v[face.c];
        o.facenormals[f] = vecNormalize(vecCross(vecSub(va, vb), vecSub(vc, vb)));
        o.facecenters[f] = Vector{(va.x + vb.x + vc.x) / 3.0f, (va.y + vb.y + vc.y) / 3.0f,
                                  (va.z + vb.z + vc.z) / 3.0f};
    }
}

namespace {

// Unordered edge as one key: the smaller corner in the high half.
inline uint64_t edgeKey(int32_t p, int32_t q) {
    int32_t lo = p < q ? p : q, hi = p < q ? q : p;
    return (uint64_t)(uint32_t)lo << 32 | (uint32_t)hi;
}

inline uint32_t hashKey(uint64_t k) {
    k ^= k >> 31;
    k *= 0x9e3779b97f4a7c15ull;
    k ^= k >> 29;
    return (uint32_t)(k >> 32) ^ (uint32_t)k;
}

}  // namespace

void FindNeighbours(SceneObject& o) {
    size_t faces = o.facecount > 0 ? (size_t)o.facecount : 0;
    Base.BS_MemFree((void**)&o.neighbours);
    o.neighbours = (FaceNeighbours*)Base.BS_MemGet(faces * sizeof(FaceNeighbours), " neighbour calc  ");
    for (size_t f = 0; f < faces; ++f) o.neighbours[f] = FaceNeighbours{{-1, -1, -1}};
    if (faces < 2) return;

    // Group the 3F edges by unordered corner pair. Within a group the edges
    // are listed in face order, then edge order: the pairwise search visits
    // faces in that order, so the first later entry of another face is the
    // face it would pair with.
    size_t edges = faces * 3;
    size_t slots = 16;
    while (slots < edges * 2) slots <<= 1;
    std::vector<int32_t> table(slots, -1);
    std::vector<uint64_t> groupKey;
    groupKey.reserve(edges / 2 + 16);
    std::vector<int32_t> group(edges), start, list(edges), pos(edges);
    const Face* of = o.origfaces;
    for (size_t f = 0; f < faces; ++f) {
        int32_t c[3] = {of[f].a, of[f].b, of[f].c};
        for (int k = 0; k < 3; ++k) {
            uint64_t key = edgeKey(c[k], c[(k + 1) % 3]);
            size_t s = hashKey(key) & (slots - 1);
            for (;;) {
                int32_t g = table[s];
                if (g < 0) {
                    g = (int32_t)groupKey.size();
                    groupKey.push_back(key);
                    table[s] = g;
                    group[f * 3 + k] = g;
                    break;
                }
                if (groupKey[(size_t)g] == key) {
                    group[f * 3 + k] = g;
                    break;
                }
                s = (s + 1) & (slots - 1);
            }
        }
    }
    size_t groups = groupKey.size();
    start.assign(groups + 1, 0);
    for (size_t e = 0; e < edges; ++e) start[(size_t)group[e] + 1]++;
    for (size_t g = 0; g < groups; ++g) start[g + 1] += start[g];
    {
        std::vector<int32_t> fill(start.begin(), start.end() - 1);
        for (size_t e = 0; e < edges; ++e) {
            int32_t at = fill[(size_t)group[e]]++;
            list[(size_t)at] = (int32_t)e;
            pos[e] = at;
        }
    }

    FaceNeighbours* nb = o.neighbours;
    for (size_t i = 0; i < faces; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (nb[i].edge[k] != -1) continue;  // claimed by a lower face
            size_t e = i * 3 + (size_t)k;
            int32_t end = start[(size_t)group[e] + 1];
            int32_t p = pos[e] + 1;
            while (p < end && (size_t)list[(size_t)p] / 3 == i) ++p;
            if (p == end) continue;
            int32_t j = list[(size_t)p] / 3;
            nb[i].edge[k] = j;
            for (; p < end && list[(size_t)p] / 3 == j; ++p) nb[j].edge[list[(size_t)p] % 3] = (int32_t)i;
        }
    }
}

void PrepareVolumes(Scene& scene) {
    int64_t t = SceneFaceTotal(scene);
    if (t < 0) t = 0;
    Base.BS_MemFree((void**)&scene.volumearray);
    Base.BS_MemFree((void**)&scene.volumeindex);
    scene.volumearray = (Vector*)Base.BS_MemGet((size_t)t * 12 * sizeof(Vector), " volume array ");
    scene.volumeindex = (Face*)Base.BS_MemGet((size_t)t * 6 * sizeof(Face), " volume array index");
    AdviseLargeBlock(scene.volumeindex, (size_t)t * 6 * sizeof(Face));
    Face* out = scene.volumeindex;
    int64_t quads = 3 * t;
    for (int64_t q = 0; q < quads; ++q) {
        int32_t c = (int32_t)(4 * q);
        out[2 * q] = Face{c, c + 1, c + 2};
        out[2 * q + 1] = Face{c + 2, c + 3, c};
    }
}
