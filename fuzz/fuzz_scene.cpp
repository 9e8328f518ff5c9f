// Scene loader: any bytes either load into a scene whose every array can be
// walked by its count and whose indices stay inside their arrays, or are
// refused through the fail hook with every block given back. A loaded scene
// saves, and the saved file loads again to the same counts.
#include "fuzz_support.h"
#include "scene/scenefile.h"

namespace {
// Reads every element of every array by its count: a block shorter than its
// count is an overflow the sanitizer reports.
uint64_t walk(const Scene& s) {
    uint64_t sum = 0;
    auto bytes = [&](const void* p, int64_t n, size_t size) {
        if (n < 0 || (n > 0 && !p)) abort();
        for (int64_t i = 0; i < n * (int64_t)size; ++i) sum += ((const unsigned char*)p)[i];
    };
    int64_t faceTotal = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        const SceneObject& o = s.objects[i];
        int32_t nf = o.facecount, nv = o.vertexcount;
        if (o.material < 0 || o.material >= s.materialcount) abort();
        bytes(o.vertices, nv, sizeof(Vector)), bytes(o.faces, nf, sizeof(Face));
        // Absent only where nothing reads them: the original faces once the
        // object keeps its own neighbour list, the strip unless drawn as one.
        if (o.origfaces) bytes(o.origfaces, nf, sizeof(Face));
        if (o.strip || o.rendermode == 1) bytes(o.strip, o.striplength, 2);
        bytes(o.neighbours, nf, sizeof(FaceNeighbours)), bytes(o.contour, nf, sizeof(ContourFlags));
        bytes(o.facenormals, nf, sizeof(Vector)), bytes(o.facecenters, nf, sizeof(Vector));
        bytes(o.lightvisible, nf, 1), bytes(o.poskeys, o.poskeycount, sizeof(TrackKey));
        bytes(o.rotkeys, o.rotkeycount, sizeof(RotationKey)), bytes(o.scalekeys, o.scalekeycount, sizeof(TrackKey));
        if (o.hascolors) bytes(o.colors, nv, sizeof(Vector));
        if (o.hasuv) bytes(o.uvs, nv, sizeof(TexCoord));
        if (o.hasnormals) bytes(o.normals, nv, sizeof(Vector));
        for (int32_t f = 0; f < nf; ++f)
            for (int c = 0; c < 3; ++c)
                if (int32_t v = DrawFaceVertex(o, f, c), n = Neighbour(o, f, c); v < 0 || v >= nv || n < -1 || n >= nf)
                    abort();
        for (int32_t k = 0; o.strip && k < o.striplength; ++k)
            if (o.strip[k] >= nv) abort();
        faceTotal += nf;
    }
    bytes(s.materials, s.materialcount, sizeof(Material));
    bytes(s.camposkeys, s.camposkeycount, sizeof(TrackKey));
    bytes(s.camtargetkeys, s.camtargetkeycount, sizeof(TrackKey));
    if (s.camposkeycount > 0 && s.camtargetkeycount > 0)
        bytes(s.camposease, s.camposkeycount, sizeof(Vector)),
            bytes(s.camtargetease, s.camtargetkeycount, sizeof(Vector));
    for (const SceneLight& l : s.lights) bytes(l.poskeys, l.poskeycount, sizeof(TrackKey));
    bytes(s.volumeindex, 6 * faceTotal, sizeof(Face));
    for (int64_t t = 0; t < 6 * faceTotal; ++t)
        if (s.volumeindex[t].a >= 12 * faceTotal) abort();
    return sum;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The linked Base module finds no "Base" beside the fuzzer; zlib itself
    // exports the two entry points the scene file needs.
    [[maybe_unused]] static bool bound = (setenv("VELMAR_MODULE_BASE", "libz.so.1", 0), true);
    FuzzInit();
    size_t before = Base.BS_MemTotal();
    Scene s{};
    if (!Accepted([&] { LoadSceneData(s, S("fuzz.vlm"), data, size); })) {
        if (Base.BS_MemTotal() != before) abort();  // a refusal leaks nothing
        return 0;
    }
    [[maybe_unused]] volatile uint64_t sum = walk(s);
    std::string saved = SaveSceneData(s);
    Scene again{};
    // The saver never writes what the loader refuses.
    if (!Accepted([&] { LoadSceneData(again, S("saved.vlm"), (const uint8_t*)saved.data(), saved.size()); })) abort();
    if (again.objectcount != s.objectcount || again.materialcount != s.materialcount ||
        again.camposkeycount != s.camposkeycount || SceneFaceTotal(again) != SceneFaceTotal(s))
        abort();
    ReleaseScene(s);
    ReleaseScene(again);
    if (Base.BS_MemTotal() != before) abort();
    return 0;
}
