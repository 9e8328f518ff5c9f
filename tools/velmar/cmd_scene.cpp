// velmar scene info|dump|eval|resave - scene files through the program's own
// loader and saver.
#include <stdio.h>
#include <string.h>

#include <string>

#include "../../render/tracks.h"
#include "../../scene/scenefile.h"
#include "json.h"
#include "tool.h"

namespace {

const char SceneHelp[] =
    "usage: velmar scene info FILE\n"
    "       velmar scene dump FILE\n"
    "       velmar scene eval FILE --at T\n"
    "       velmar scene resave IN OUT\n"
    "Loads a scene file (.vlm) with the program's own loader and prints JSON:\n"
    "  info    version, name, counts of materials, objects, faces, vertices and\n"
    "          keys, and the chunk kinds seen as [kind,chunks] pairs\n"
    "  dump    the loaded scene, derived data included, keyed by field name;\n"
    "          scratch buffers (volumearray, lightvisible, contour, particles)\n"
    "          as their element counts, absent arrays as null\n"
    "  eval    camera eye and target, object and light positions at key-frame\n"
    "          time T\n"
    "  resave  loads IN and saves it as OUT (always format version 1.2)\n"
    "A file that cannot be read or is malformed: one line on stderr, exit 2.\n";

// ------------------------------------------------------------ dump

void jsonValue(JsonOut& j, int32_t v) { jsonInt(j, v); }
void jsonValue(JsonOut& j, uint32_t v) { jsonInt(j, v); }
void jsonValue(JsonOut& j, uint16_t v) { jsonInt(j, v); }
void jsonValue(JsonOut& j, uint8_t v) { jsonInt(j, v); }
void jsonValue(JsonOut& j, bool v) { jsonBool(j, v); }
void jsonValue(JsonOut& j, float v) { jsonFloat(j, v); }
void jsonValue(JsonOut& j, const ShortString& v) { jsonString(j, view(v)); }

void jsonFloats(JsonOut& j, const float* v, int n) {
    jsonOpen(j, '[');
    for (int i = 0; i < n; ++i) jsonFloat(j, v[i]);
    jsonClose(j, ']');
}
void jsonInts(JsonOut& j, const int32_t* v, int n) {
    jsonOpen(j, '[');
    for (int i = 0; i < n; ++i) jsonInt(j, v[i]);
    jsonClose(j, ']');
}
void jsonValue(JsonOut& j, const Vector& v) {
    float f[3] = {v.x, v.y, v.z};
    jsonFloats(j, f, 3);
}
void jsonValue(JsonOut& j, const float (&v)[16]) { jsonFloats(j, v, 16); }
void jsonValue(JsonOut& j, const float (&v)[4]) { jsonFloats(j, v, 4); }
void jsonValue(JsonOut& j, const TexCoord& v) {
    float f[2] = {v.u, v.v};
    jsonFloats(j, f, 2);
}
void jsonValue(JsonOut& j, const Face& v) {
    int32_t i[3] = {v.a, v.b, v.c};
    jsonInts(j, i, 3);
}
void jsonValue(JsonOut& j, const FaceNeighbours& v) { jsonInts(j, v.edge, 3); }
void jsonValue(JsonOut& j, const TrackKey& v) {
    jsonOpen(j, '[');
    jsonInt(j, v.frame);
    jsonFloat(j, v.point.x), jsonFloat(j, v.point.y), jsonFloat(j, v.point.z);
    jsonClose(j, ']');
}
void jsonValue(JsonOut& j, const RotationKey& v) {
    jsonOpen(j, '[');
    jsonInt(j, v.frame);
    for (float q : v.quat) jsonFloat(j, q);
    jsonClose(j, ']');
}

#define DUMP_FIELD(type, name) jsonKey(j, #name), jsonValue(j, r.name);
#define DUMP_ARRAY(type, name, count)                                          \
    jsonKey(j, #name);                                                         \
    if (!r.name) {                                                             \
        jsonNull(j);                                                           \
    } else {                                                                   \
        jsonOpen(j, '[');                                                      \
        for (int64_t i = 0, n = (count); i < n; ++i) jsonValue(j, r.name[i]);  \
        jsonClose(j, ']');                                                     \
    }
#define DUMP_SCRATCH(type, name, count) \
    jsonKey(j, #name);                  \
    if (!r.name) jsonNull(j); else jsonInt(j, (int64_t)(count));

void jsonValue(JsonOut& j, const Material& r) {
    jsonOpen(j, '{');
    MATERIAL_FIELDS(DUMP_FIELD, DUMP_ARRAY, DUMP_SCRATCH)
    jsonClose(j, '}');
}
void jsonValue(JsonOut& j, const SceneObject& r) {
    jsonOpen(j, '{');
    SCENE_OBJECT_FIELDS(DUMP_FIELD, DUMP_ARRAY, DUMP_SCRATCH)
    jsonClose(j, '}');
}
void jsonValue(JsonOut& j, const SceneLight& r) {
    jsonOpen(j, '{');
    SCENE_LIGHT_FIELDS(DUMP_FIELD, DUMP_ARRAY, DUMP_SCRATCH)
    jsonClose(j, '}');
}
void jsonValue(JsonOut& j, const SceneLightSet& lights) {
    jsonOpen(j, '[');
    for (const SceneLight& l : lights) jsonValue(j, l);
    jsonClose(j, ']');
}
void jsonValue(JsonOut& j, const Scene& r) {
    jsonOpen(j, '{');
    SCENE_FIELDS(DUMP_FIELD, DUMP_ARRAY, DUMP_SCRATCH)
    jsonClose(j, '}');
}

#undef DUMP_FIELD
#undef DUMP_ARRAY
#undef DUMP_SCRATCH

// ------------------------------------------------------------ commands

int info(const std::string& path) {
    Scene s{};
    SceneLoadStats stats;
    toolLoadScene(s, path, &stats);
    int64_t faces = 0, vertices = 0, posKeys = 0, rotKeys = 0, scaleKeys = 0, lightKeys = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        const SceneObject& o = s.objects[i];
        faces += o.facecount, vertices += o.vertexcount;
        posKeys += o.poskeycount, rotKeys += o.rotkeycount, scaleKeys += o.scalekeycount;
    }
    for (const SceneLight& l : s.lights) lightKeys += l.poskeycount;
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "file"), jsonString(j, path);
    jsonKey(j, "version"), jsonString(j, std::to_string(s.versionmajor) + "." + std::to_string(s.versionminor));
    jsonKey(j, "name"), jsonString(j, view(s.name));
    jsonKey(j, "materials"), jsonInt(j, s.materialcount);
    jsonKey(j, "objects"), jsonInt(j, s.objectcount);
    jsonKey(j, "faces"), jsonInt(j, faces);
    jsonKey(j, "vertices"), jsonInt(j, vertices);
    jsonKey(j, "keys");
    jsonOpen(j, '{');
    jsonKey(j, "camera position"), jsonInt(j, s.camposkeycount);
    jsonKey(j, "camera target"), jsonInt(j, s.camtargetkeycount);
    jsonKey(j, "object position"), jsonInt(j, posKeys);
    jsonKey(j, "object rotation"), jsonInt(j, rotKeys);
    jsonKey(j, "object scale"), jsonInt(j, scaleKeys);
    jsonKey(j, "light position"), jsonInt(j, lightKeys);
    jsonClose(j, '}');
    jsonKey(j, "chunks"), jsonInt(j, stats.chunks);
    jsonKey(j, "kinds");
    jsonOpen(j, '[');
    for (int k = 0; k < 256; ++k) {
        if (!stats.kinds[k]) continue;
        jsonOpen(j, '[');
        jsonInt(j, k), jsonInt(j, stats.kinds[k]);
        jsonClose(j, ']');
    }
    jsonClose(j, ']');
    jsonKey(j, "skipped"), jsonInt(j, stats.skipped);
    jsonClose(j, '}');
    ReleaseScene(s);
    printf("%s\n", j.s.c_str());
    return 0;
}

int dump(const std::string& path) {
    Scene s{};
    toolLoadScene(s, path);
    JsonOut j;
    jsonValue(j, s);
    ReleaseScene(s);
    fwrite(j.s.data(), 1, j.s.size(), stdout);
    printf("\n");
    return 0;
}

void jsonNamedPos(JsonOut& j, const ShortString& name, const Vector& pos) {
    jsonOpen(j, '{');
    jsonKey(j, "name"), jsonString(j, view(name));
    jsonKey(j, "pos"), jsonValue(j, pos);
    jsonClose(j, '}');
}

int eval(const std::string& path, float t) {
    Scene s{};
    toolLoadScene(s, path);
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "t"), jsonFloat(j, t);
    jsonKey(j, "camera");
    if (s.camposkeycount > 0 && s.camtargetkeycount > 0) {
        jsonOpen(j, '{');
        jsonKey(j, "eye"), jsonValue(j, evalCurveTrack(s.camposkeys, s.camposease, s.camposkeycount, t));
        jsonKey(j, "target"), jsonValue(j, evalCurveTrack(s.camtargetkeys, s.camtargetease, s.camtargetkeycount, t));
        jsonClose(j, '}');
    } else {
        jsonNull(j);  // a scene without both camera tracks cannot be drawn
    }
    jsonKey(j, "objects");
    jsonOpen(j, '[');
    for (int32_t i = 0; i < s.objectcount; ++i) {
        const SceneObject& o = s.objects[i];
        Vector p = o.poskeycount > 0 ? evalLinearTrack(o.poskeys, o.poskeycount, t) : Vector{0, 0, 0};
        jsonNamedPos(j, o.name, p);
    }
    jsonClose(j, ']');
    jsonKey(j, "lights");
    jsonOpen(j, '[');
    for (const SceneLight& l : s.lights)
        jsonNamedPos(j, l.name, l.poskeycount > 0 ? evalLinearTrack(l.poskeys, l.poskeycount, t) : l.pos);
    jsonClose(j, ']');
    jsonClose(j, '}');
    ReleaseScene(s);
    printf("%s\n", j.s.c_str());
    return 0;
}

int resave(const std::string& in, const std::string& out) {
    Scene s{};
    toolLoadScene(s, in);
    SaveScene(s, S(out));
    ReleaseScene(s);
    return 0;
}

}  // namespace

int cmdScene(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--at"});
    if (a.help) return toolHelp(SceneHelp);
    if (a.positional.empty()) toolFail("wants info, dump, eval or resave (see --help)");
    const std::string& what = a.positional[0];
    size_t files = a.positional.size() - 1;
    bool hasAt = false;
    float at = 0;
    for (auto& [k, v] : a.options) hasAt = true, at = (float)toolNumber(k, v);
    if (hasAt && what != "eval") toolFail("--at belongs to eval (see --help)");
    if (what == "info" || what == "dump") {
        if (files != 1) toolFail(what + " wants one scene file (see --help)");
        return what == "info" ? info(a.positional[1]) : dump(a.positional[1]);
    }
    if (what == "eval") {
        if (files != 1) toolFail("eval wants one scene file (see --help)");
        if (!hasAt) toolFail("eval wants --at T (see --help)");
        return eval(a.positional[1], at);
    }
    if (what == "resave") {
        if (files != 2) toolFail("resave wants an input and an output file (see --help)");
        return resave(a.positional[1], a.positional[2]);
    }
    toolFail("unknown scene command \"" + what + "\" (see --help)");
}
