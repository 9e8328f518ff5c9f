// The scene file: loader and saver, both driven by the chunk tables.
#include "scenefile.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "../frame/frame.h"
#include "../render/tracks.h"
#include "chunks.h"
#include "precalc.h"

const char ChunkSizeCorruption[] = "Chunk size corruption !";
const char ChunkTypeCorruption[] = "Chunk type corruption !";
const char ChunkIndexCorruption[] = "Chunk index corruption !";
const char ChunkOrderCorruption[] = "Chunk order corruption !";

namespace {

// ------------------------------------------------------------ the kind table

enum ChunkGroup : uint8_t { GroupNone, GroupScene, GroupMaterial, GroupObject, GroupLight };

template <class R> constexpr uint8_t groupOf();
template <> constexpr uint8_t groupOf<Scene>() { return GroupScene; }
template <> constexpr uint8_t groupOf<Material>() { return GroupMaterial; }
template <> constexpr uint8_t groupOf<SceneObject>() { return GroupObject; }
template <> constexpr uint8_t groupOf<SceneLight>() { return GroupLight; }

struct ChunkTarget {
    uint8_t kind, group, type;
    bool isArray, isBool, packed, saved;
    uint8_t when;
    uint32_t offset;  // of the field in its record
    uint32_t bytes;   // size of a value field, or of one array element
    int32_t countOffset;
    const char* field;
    const char* countName;
    const char* tail;
};

#define KT_VALUE(R, kind, type, field, packed)                                                          \
    {kind, groupOf<R>(), type, false, std::is_same_v<decltype(R::field), bool>, packed != 0, true, WhenAlways, \
     (uint32_t)offsetof(R, field), (uint32_t)sizeof(R::field), -1, #field, "", ""},
#define KT_ARRAY(R, kind, type, field, count, when, tail)                                                \
    {kind, groupOf<R>(), type, true, false, true, true, when, (uint32_t)offsetof(R, field),              \
     (uint32_t)sizeof(std::remove_pointer_t<decltype(R::field)>), (int32_t)offsetof(R, count), #field,   \
     #count, tail},
#define KT_LOADONLY(R, kind, type, field)                                                               \
    {kind, groupOf<R>(), type, false, std::is_same_v<decltype(R::field), bool>, false, false, WhenAlways, \
     (uint32_t)offsetof(R, field), (uint32_t)sizeof(R::field), -1, #field, "", ""},

constexpr ChunkTarget SceneChunks[] = {VLM_SCENE_CHUNKS(KT_VALUE, KT_ARRAY, KT_LOADONLY)};
constexpr ChunkTarget MaterialChunks[] = {VLM_MATERIAL_CHUNKS(KT_VALUE, KT_ARRAY, KT_LOADONLY)};
constexpr ChunkTarget ObjectChunks[] = {VLM_OBJECT_CHUNKS(KT_VALUE, KT_ARRAY, KT_LOADONLY)};
constexpr ChunkTarget CameraChunks[] = {VLM_CAMERA_CHUNKS(KT_VALUE, KT_ARRAY, KT_LOADONLY)};
constexpr ChunkTarget LightChunks[] = {VLM_LIGHT_CHUNKS(KT_VALUE, KT_ARRAY, KT_LOADONLY)};

#undef KT_VALUE
#undef KT_ARRAY
#undef KT_LOADONLY

// The element type the saver writes must describe the field exactly.
template <size_t N> constexpr bool typesFitFields(const ChunkTarget (&list)[N]) {
    for (const ChunkTarget& t : list)
        if (t.type >= VlmElementTypeCount || (uint32_t)VlmElementSize[t.type] != t.bytes) return false;
    return true;
}
static_assert(typesFitFields(SceneChunks) && typesFitFields(MaterialChunks) && typesFitFields(ObjectChunks) &&
                  typesFitFields(CameraChunks) && typesFitFields(LightChunks),
              "a chunk's element type does not match its field");

struct ChunkList {
    const ChunkTarget* entries;
    size_t count;
};
template <size_t N> constexpr ChunkList listOf(const ChunkTarget (&a)[N]) { return ChunkList{a, N}; }
// In the saver's order.
const ChunkList AllChunkLists[] = {listOf(SceneChunks), listOf(MaterialChunks), listOf(ObjectChunks),
                                   listOf(CameraChunks), listOf(LightChunks)};

// Chunk kind -> its table entry (null for the unused kinds).
struct KindTable {
    const ChunkTarget* byKind[256];
};
const KindTable& kindTable() {
    static const KindTable table = [] {
        KindTable t{};
        for (const ChunkList& l : AllChunkLists)
            for (size_t i = 0; i < l.count; ++i) t.byKind[l.entries[i].kind] = &l.entries[i];
        return t;
    }();
    return table;
}

inline void*& fieldPtr(void* record, uint32_t offset) { return *(void**)((char*)record + offset); }
inline const void* fieldPtr(const void* record, uint32_t offset) {
    return *(void* const*)((const char*)record + offset);
}

// Labels are cut at 255 characters, as every ShortString.
struct Label {
    char text[256];
};
Label labelOf(const ShortString& s) {
    Label l;
    std::memcpy(l.text, s.text, s.len);
    l.text[s.len] = 0;
    return l;
}

uint32_t readU32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
int32_t readI32(const uint8_t* p) { return (int32_t)readU32(p); }

// ------------------------------------------------------------ loading

// Byte sizes of the arrays read so far, per record, by the order of the
// record's array chunks (the counts are checked against them at the end).
const int MaxArraysPerRecord = 12;
struct ArrayBytes {
    int64_t bytes[MaxArraysPerRecord];
};

template <size_t N> constexpr int arraysIn(const ChunkTarget (&list)[N]) {
    int n = 0;
    for (const ChunkTarget& t : list) n += t.isArray;
    return n;
}
static_assert(arraysIn(ObjectChunks) <= MaxArraysPerRecord && arraysIn(LightChunks) <= MaxArraysPerRecord &&
                  arraysIn(CameraChunks) <= MaxArraysPerRecord,
              "a record has more array chunks than the loader counts");

int arraySlot(const ChunkTarget& t) {
    for (const ChunkList& l : AllChunkLists) {
        int slot = 0;
        for (size_t i = 0; i < l.count; ++i) {
            const ChunkTarget& e = l.entries[i];
            if (e.group != t.group || !e.isArray) continue;
            if (&e == &t) return slot;
            ++slot;
        }
    }
    return 0;
}

struct Loader {
    Scene* scene;
    const ShortString* fileName;
    const uint8_t* data;
    size_t size;
    size_t pos;
    size_t chunkAt;  // start of the chunk being read
    bool haveMaterials, haveObjects;
    ArrayBytes sceneArrays;
    ArrayBytes lightArrays[SceneLightCount];
    std::vector<ArrayBytes> objectArrays;
    SceneLoadStats* stats;
};

std::string fileText(const Loader& ld) { return str(*ld.fileName); }

[[noreturn]] void truncated(const Loader& ld) {
    std::string what = "read past end of " + fileText(ld);
    RunError(100, what.c_str());
}

// A refusal of the chunk being read: the detail goes to the log, the
// message is the fixed text.
[[noreturn]] void refuseChunk(const Loader& ld, const char* message, int kind, const std::string& detail) {
    LogLine("[scene] " + fileText(ld) + ": chunk kind " + std::to_string(kind) + " at byte " +
            std::to_string(ld.chunkAt) + ": " + detail);
    FatalStop(message);
}

// A refusal of the loaded scene as a whole: the message names the file and
// the record.
[[noreturn]] void refuseScene(const Loader& ld, const std::string& record, const std::string& what) {
    FatalStop("Scene corruption ! (" + fileText(ld) + ") " + record + ": " + what);
}

std::string objectText(const Scene& s, int32_t i) {
    return "object " + std::to_string(i) + " \"" + str(s.objects[i].name) + "\"";
}
std::string lightText(const Scene& s, int32_t i) {
    return "light " + std::to_string(i) + " \"" + str(s.lights[i].name) + "\"";
}
std::string notInflating(int32_t size) {
    return "packed payload does not inflate to " + std::to_string(size) + " bytes";
}

// Where a chunk lands: the record and, for arrays, the byte-size table.
struct Destination {
    void* record;
    ArrayBytes* arrays;
    ShortString labelHead;  // scene name, or scene name + " " + record name
};

Destination destinationOf(Loader& ld, const ChunkTarget& t, int32_t index) {
    Scene& s = *ld.scene;
    switch (t.group) {
    case GroupMaterial:
        if (!ld.haveMaterials)
            refuseChunk(ld, ChunkOrderCorruption, t.kind, "material chunk before the material count");
        if (index < 0 || index >= s.materialcount)
            refuseChunk(ld, ChunkIndexCorruption, t.kind,
                        "material " + std::to_string(index) + " of " + std::to_string(s.materialcount));
        return Destination{&s.materials[index], nullptr, s.name};
    case GroupObject:
        if (!ld.haveObjects) refuseChunk(ld, ChunkOrderCorruption, t.kind, "object chunk before the object count");
        if (index < 0 || index >= s.objectcount)
            refuseChunk(ld, ChunkIndexCorruption, t.kind,
                        "object " + std::to_string(index) + " of " + std::to_string(s.objectcount));
        return Destination{&s.objects[index], &ld.objectArrays[(size_t)index], s.name + " " + s.objects[index].name};
    case GroupLight:
        if (index < 0 || index >= SceneLightCount)
            refuseChunk(ld, ChunkIndexCorruption, t.kind, "light " + std::to_string(index) + " of 8");
        return Destination{&s.lights[index], &ld.lightArrays[index], s.name + " " + s.lights[index].name};
    default:  // scene and camera chunks: the index is not used
        return Destination{&s, &ld.sceneArrays, s.name};
    }
}

// Kinds 5 and 6: the count, then the block of records.
void reserveRecords(Loader& ld, const ChunkTarget& t) {
    Scene& s = *ld.scene;
    bool materials = t.kind == 5;
    int32_t n = materials ? s.materialcount : s.objectcount;
    // Every record costs the file at least one byte; a larger count cannot
    // be honest, and would only reserve memory for nothing.
    if (n < 0 || (uint64_t)n > ld.size)
        refuseChunk(ld, ChunkSizeCorruption, t.kind, "count " + std::to_string(n) + " in a file of " +
                                                         std::to_string(ld.size) + " bytes");
    if (materials) {
        Label l = labelOf(s.name + " materials");
        s.materials = (Material*)Base.BS_MemGet((size_t)n * sizeof(Material), l.text);
        std::memset((void*)s.materials, 0, (size_t)n * sizeof(Material));
        ld.haveMaterials = true;
    } else {
        Label l = labelOf(s.name + " objects");
        s.objects = (SceneObject*)Base.BS_MemGet((size_t)n * sizeof(SceneObject), l.text);
        std::memset((void*)s.objects, 0, (size_t)n * sizeof(SceneObject));
        ld.objectArrays.assign((size_t)n, ArrayBytes{});
        ld.haveObjects = true;
    }
}

void readChunk(Loader& ld, uint8_t type, uint8_t kind) {
    if (ld.size - ld.pos < 16) truncated(ld);
    const uint8_t* h = ld.data + ld.pos;
    int32_t count = readI32(h), size = readI32(h + 4), packed = readI32(h + 8), index = readI32(h + 12);
    ld.pos += 16;
    if (type >= VlmElementTypeCount)
        refuseChunk(ld, ChunkTypeCorruption, kind, "element type " + std::to_string(type));
    if ((int64_t)VlmElementSize[type] * count != (int64_t)size || size < 0)
        refuseChunk(ld, ChunkSizeCorruption, kind,
                    "count " + std::to_string(count) + " x " + std::to_string(VlmElementSize[type]) +
                        " is not size " + std::to_string(size));
    if (packed < 0) refuseChunk(ld, ChunkSizeCorruption, kind, "packed size " + std::to_string(packed));
    size_t stored = packed ? (size_t)packed : (size_t)size;
    if (ld.size - ld.pos < stored) truncated(ld);
    const uint8_t* payload = ld.data + ld.pos;
    ld.pos += stored;
    if (ld.stats) {
        ld.stats->chunks++;
        ld.stats->kinds[kind]++;
    }
    // deflate never packs more than 1032 bytes into one: a larger size
    // cannot come out of this payload.
    if (packed && (int64_t)size > (int64_t)packed * 1032)
        refuseChunk(ld, ChunkSizeCorruption, kind, "size " + std::to_string(size) + " from " +
                                                       std::to_string(packed) + " packed bytes");

    const ChunkTarget* tp = kindTable().byKind[kind];
    if (!tp) return;  // an unused kind: its payload is dropped unread
    const ChunkTarget& t = *tp;
    if (t.kind == 5 && ld.haveMaterials)
        refuseChunk(ld, ChunkOrderCorruption, kind, "a second material count");
    if (t.kind == 6 && ld.haveObjects) refuseChunk(ld, ChunkOrderCorruption, kind, "a second object count");
    Destination dst = destinationOf(ld, t, index);

    if (t.isArray) {
        void*& slot = fieldPtr(dst.record, t.offset);
        Base.BS_MemFree(&slot);  // a repeated chunk replaces the array
        Label l = labelOf(dst.labelHead + t.tail);
        void* block = Base.BS_MemGet((size_t)size, l.text);
        AdviseLargeBlock(block, (size_t)size);
        if (packed) {
            if (!InflateInto(block, (size_t)size, payload, stored)) {
                Base.BS_MemFree(&block);
                refuseChunk(ld, ChunkSizeCorruption, kind, notInflating(size));
            }
        } else if (size) {
            std::memcpy(block, payload, (size_t)size);
        }
        slot = block;
        dst.arrays->bytes[arraySlot(t)] = size;
        return;
    }

    if ((uint32_t)size > t.bytes)
        refuseChunk(ld, ChunkSizeCorruption, kind,
                    std::to_string(size) + " bytes for the " + std::to_string(t.bytes) + "-byte " + t.field);
    uint8_t* target = (uint8_t*)dst.record + t.offset;
    if (packed) {
        void* block = nullptr;
        int32_t r = UnpackBlock(&block, size, payload, packed);
        if (r != 0) {
            Base.BS_MemFree(&block);
            refuseChunk(ld, ChunkSizeCorruption, kind, notInflating(size));
        }
        std::memcpy(target, block, (size_t)size);
        Base.BS_MemFree(&block);
    } else {
        std::memcpy(target, payload, (size_t)size);
    }
    // Any non-zero byte is true; a bool only ever holds 0 or 1.
    if (t.isBool && size > 0) *target = *target != 0;
    if (t.kind == 5 || t.kind == 6) reserveRecords(ld, t);
}

// Object arrays that nothing reads, given the rest of the object: the
// neighbour list (worked out when missing), the original faces once a list
// is kept (only the neighbour search reads them), and the strip unless the
// object is drawn as one.
bool objectArrayUnread(const char* field, const SceneObject& o, bool keepNeighbours) {
    if (!std::strcmp(field, "neighbours")) return true;
    if (!std::strcmp(field, "origfaces")) return keepNeighbours && o.neighbours;
    if (!std::strcmp(field, "strip")) return o.rendermode != 1;
    return false;
}

// Is the array read, by the draw or by the work after loading, given what
// the record says of itself? Only then may it be missing.
bool arrayRequired(const ChunkTarget& t, const void* record, int32_t count, bool keepNeighbours) {
    if (count <= 0) return false;
    if (t.group != GroupObject) return true;
    const SceneObject& o = *(const SceneObject*)record;
    switch (t.when) {
    case WhenColors: return o.hascolors;
    case WhenUV: return o.hasuv;
    case WhenNormals: return o.hasnormals;
    default: break;
    }
    return !objectArrayUnread(t.field, o, keepNeighbours);
}

// Every array of a record against its count: at least `count` entries (more
// are never read), or none where nothing reads it.
void checkArrays(const Loader& ld, uint8_t group, const void* record, const ArrayBytes& arrays,
                 const std::string& recordText, bool keepNeighbours = true) {
    for (const ChunkList& l : AllChunkLists) {
        int slot = 0;
        for (size_t i = 0; i < l.count; ++i) {
            const ChunkTarget& t = l.entries[i];
            if (t.group != group || !t.isArray) continue;
            int32_t count = *(const int32_t*)((const char*)record + t.countOffset);
            if (count < 0) refuseScene(ld, recordText, std::string(t.countName) + " is " + std::to_string(count));
            const void* p = fieldPtr(record, t.offset);
            if (p) {
                int64_t have = arrays.bytes[slot] / t.bytes;
                if (arrays.bytes[slot] < (int64_t)count * t.bytes)
                    refuseScene(ld, recordText, std::string(t.field) + " holds " + std::to_string(have) +
                                                    " entries, " + t.countName + " is " + std::to_string(count));
            } else if (arrayRequired(t, record, count, keepNeighbours)) {
                refuseScene(ld, recordText, std::string(t.field) + " is missing (" + t.countName + " " +
                                                std::to_string(count) + ")");
            }
            ++slot;
        }
    }
}

// After the last chunk: every later stage indexes by these numbers.
void checkScene(const Loader& ld, bool keepNeighbours) {
    const Scene& s = *ld.scene;
    checkArrays(ld, GroupScene, &s, ld.sceneArrays, "camera");
    for (int32_t i = 0; i < SceneLightCount; ++i)
        checkArrays(ld, GroupLight, &s.lights[i], ld.lightArrays[i], lightText(s, i));
    int64_t faceTotal = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        const SceneObject& o = s.objects[i];
        std::string what = objectText(s, i);
        checkArrays(ld, GroupObject, &o, ld.objectArrays[(size_t)i], what, keepNeighbours);
        if (o.material < 0 || o.material >= s.materialcount)
            refuseScene(ld, what, "material " + std::to_string(o.material) + " does not exist (" +
                                      std::to_string(s.materialcount) + " materials)");
        const uint32_t vertices = (uint32_t)o.vertexcount;
        for (int32_t f = 0; o.faces && f < o.facecount; ++f) {
            const Face& face = o.faces[f];
            if ((uint32_t)face.a >= vertices || (uint32_t)face.b >= vertices || (uint32_t)face.c >= vertices)
                refuseScene(ld, what, "face " + std::to_string(f) + " (" + std::to_string(face.a) + ", " +
                                          std::to_string(face.b) + ", " + std::to_string(face.c) +
                                          ") reaches outside " + std::to_string(o.vertexcount) + " vertices");
        }
        for (int32_t k = 0; o.strip && k < o.striplength; ++k)
            if (o.strip[k] >= vertices)
                refuseScene(ld, what, "strip index " + std::to_string(k) + " is " + std::to_string(o.strip[k]) +
                                          ", outside " + std::to_string(o.vertexcount) + " vertices");
        if (keepNeighbours && o.neighbours) {
            for (int32_t f = 0; f < o.facecount; ++f)
                for (int e = 0; e < 3; ++e) {
                    int32_t n = o.neighbours[f].edge[e];
                    if (n < -1 || n >= o.facecount)
                        refuseScene(ld, what, "neighbour " + std::to_string(n) + " of face " + std::to_string(f) +
                                                  " reaches outside " + std::to_string(o.facecount) + " faces");
                }
        }
        faceTotal += o.facecount;
    }
    // Quad corners are numbered with int32: 12 per face of the scene.
    if (faceTotal * 12 > INT32_MAX)
        refuseScene(ld, "scene", std::to_string(faceTotal) + " faces are more than the shadow buffers can number");
}

bool oldVersion(const Scene& s) { return s.versionmajor == 1 && s.versionminor < 2; }

// The worked-out data, in the loader's order.
void deriveScene(Scene& s) {
    if (s.camposkeycount > 0 && s.camtargetkeycount > 0) {
        Label pl = labelOf(S("scene.") + s.name + ".camera position ease");
        s.camposease = (Vector*)Base.BS_MemGet((size_t)s.camposkeycount * sizeof(Vector), pl.text);
        Label tl = labelOf(S("scene.") + s.name + ".camera target ease");
        s.camtargetease = (Vector*)Base.BS_MemGet((size_t)s.camtargetkeycount * sizeof(Vector), tl.text);
        computeEase(s);
    }
    for (int32_t i = 0; i < s.materialcount; ++i) s.materials[i].depth = 24;
    s.maxpassno = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        SceneObject& o = s.objects[i];
        if (o.passno > s.maxpassno) s.maxpassno = o.passno;
        o.rotation = Vector{0, 0, 0};
        PrepareObjectGeometry(o);
    }
    // Old files carry no lists; an object of a newer file that lacks its
    // list gets one too, since the shadow pass needs it.
    for (int32_t i = 0; i < s.objectcount; ++i)
        if (oldVersion(s) || !s.objects[i].neighbours) FindNeighbours(s.objects[i]);
    PrepareVolumes(s);
    s.shadowlength = 1000.0f;
}

// Gives a partly loaded scene back when a failure unwinds through the
// loader (tools and tests install a hook that throws); the program itself
// never gets here, it ends in the failure.
struct LoadGuard {
    Scene* scene;
    bool done;
    ~LoadGuard() {
        if (done) return;
        ReleaseScene(*scene);
        std::memset((void*)scene, 0, sizeof(Scene));
    }
};

}  // namespace

void LoadSceneData(Scene& scene, const ShortString& fileName, const uint8_t* data, size_t size,
                   SceneLoadStats* stats) {
    LoadGuard guard{&scene, false};
    if (stats) std::memset(stats, 0, sizeof *stats);
    Loader ld{};
    ld.scene = &scene;
    ld.fileName = &fileName;
    ld.data = data;
    ld.size = size;
    ld.stats = stats;
    if (ld.size < 4) truncated(ld);  // an empty file too: it holds no scene
    while (ld.pos < ld.size) {
        if (ld.size - ld.pos < 4) truncated(ld);
        const uint8_t* p = ld.data + ld.pos;
        ld.chunkAt = ld.pos;
        ld.pos += 4;
        if (p[0] == 'F' && p[1] == '!') {
            readChunk(ld, p[2], p[3]);
        } else if (stats) {
            stats->skipped += 4;
        }
    }
    // A list from the file is kept only where it is not worked out anew.
    bool old = oldVersion(scene);
    if (old)
        for (int32_t i = 0; i < scene.objectcount; ++i) Base.BS_MemFree((void**)&scene.objects[i].neighbours);
    checkScene(ld, !old);
    deriveScene(scene);
    guard.done = true;
}

void LoadScene(Scene& scene, const ShortString& fileName) {
    std::string data;
    int code = 0;
    std::string why;
    if (!TryReadFile(str(fileName).c_str(), data, &code, &why)) {
        LogLine(S("[scene] cannot read ") + fileName + ": " + why);
        FatalStop(S("File (") + fileName + ") not found.");
    }
    LoadSceneData(scene, fileName, (const uint8_t*)data.data(), data.size());
}

// ------------------------------------------------------------ saving

namespace {

void putU32(std::string& out, uint32_t v) {
    char b[4] = {(char)(v & 0xff), (char)(v >> 8 & 0xff), (char)(v >> 16 & 0xff), (char)(v >> 24 & 0xff)};
    out.append(b, 4);
}

void writeChunk(std::string& out, const ChunkTarget& t, int32_t index, int32_t count, const void* payload) {
    int32_t size = VlmElementSize[t.type] * count;
    out += 'F';
    out += '!';
    out += (char)t.type;
    out += (char)t.kind;
    putU32(out, (uint32_t)count);
    putU32(out, (uint32_t)size);
    if (!t.packed) {
        putU32(out, 0);
        putU32(out, (uint32_t)index);
        if (size > 0) out.append((const char*)payload, (size_t)size);
        return;
    }
    void* block = nullptr;
    int32_t length = 0;
    int32_t r = PackBlock(payload, size, &block, &length);
    if (r != 0) {
        Base.BS_MemFree(&block);
        FatalStop("Packing error! " + std::to_string(r) + " " + std::to_string(size) + " " + std::to_string(t.kind) +
                  " " + std::to_string(index));
    }
    putU32(out, (uint32_t)length);
    putU32(out, (uint32_t)index);
    out.append((const char*)block, (size_t)length);
    Base.BS_MemFree(&block);
}

bool arrayWritten(const ChunkTarget& t, const void* record, int32_t count) {
    if (t.group == GroupObject) {
        const SceneObject& o = *(const SceneObject*)record;
        switch (t.when) {
        case WhenColors: return o.hascolors;
        case WhenUV: return o.hasuv;
        case WhenNormals: return o.hasnormals;
        default: break;
        }
    }
    return t.when != WhenKeys || count > 0;
}

void writeRecord(std::string& out, const ChunkList& list, const void* record, int32_t index,
                 const std::string& recordText) {
    for (size_t i = 0; i < list.count; ++i) {
        const ChunkTarget& t = list.entries[i];
        if (!t.saved) continue;
        if (!t.isArray) {
            // The table's element type says how many bytes of the field go
            // to the file (all of them for every saved value).
            writeChunk(out, t, index, 1, (const char*)record + t.offset);
            continue;
        }
        int32_t count = *(const int32_t*)((const char*)record + t.countOffset);
        if (!arrayWritten(t, record, count)) continue;
        const void* p = fieldPtr(record, t.offset);
        // An array nothing reads may be absent: no chunk for it.
        if (count > 0 && !p && t.group == GroupObject &&
            objectArrayUnread(t.field, *(const SceneObject*)record, true))
            continue;
        if (count < 0 || (count > 0 && !p))
            FatalStop("Cannot save " + recordText + ": " + t.field + " is missing for " + t.countName + " " +
                      std::to_string(count));
        writeChunk(out, t, index, count, p);
    }
}

}  // namespace

int32_t SceneAnnouncedChunks(const Scene& s) {
    int64_t n = 12 + 22 * (int64_t)s.materialcount;
    for (int32_t i = 0; s.objects && i < s.objectcount; ++i) {
        const SceneObject& o = s.objects[i];
        n += 33 + (o.hascolors ? 1 : 0) + (o.hasuv ? 1 : 0) + (o.hasnormals ? 2 : 0) + (o.poskeycount > 0) +
             (o.rotkeycount > 0) + (o.scalekeycount > 0);
        // Arrays nothing reads that the object does not have: not written.
        n -= (o.striplength > 0 && !o.strip && objectArrayUnread("strip", o, true)) +
             (o.facecount > 0 && !o.origfaces && objectArrayUnread("origfaces", o, true)) +
             (o.facecount > 0 && !o.neighbours);
    }
    n += (s.camposkeycount > 0) + (s.camtargetkeycount > 0);
    for (const SceneLight& l : s.lights) n += 7 + (l.poskeycount > 0);
    return (int32_t)n;
}

std::string SaveSceneData(const Scene& scene) {
    if (scene.materialcount < 0 || scene.objectcount < 0 || (scene.materialcount > 0 && !scene.materials) ||
        (scene.objectcount > 0 && !scene.objects))
        FatalStop("Cannot save scene " + str(scene.name) + ": its material or object records are missing");
    // The saver's own version and announced count, whatever the record holds.
    Scene head = scene;
    head.chunkcount = SceneAnnouncedChunks(scene);
    head.versionmajor = 1;
    head.versionminor = 2;
    std::string out;
    writeRecord(out, listOf(SceneChunks), &head, 0, "scene");
    for (int32_t i = 0; i < scene.materialcount; ++i)
        writeRecord(out, listOf(MaterialChunks), &scene.materials[i], i, "material " + std::to_string(i));
    for (int32_t i = 0; i < scene.objectcount; ++i)
        writeRecord(out, listOf(ObjectChunks), &scene.objects[i], i, "object " + std::to_string(i));
    writeRecord(out, listOf(CameraChunks), &scene, 0, "camera");
    for (int32_t i = 0; i < SceneLightCount; ++i)
        writeRecord(out, listOf(LightChunks), &scene.lights[i], i, "light " + std::to_string(i));
    return out;
}

void SaveScene(const Scene& scene, const ShortString& fileName) {
    std::string data = SaveSceneData(scene);
    std::string why;
    if (!TryWriteFileAtomic(str(fileName).c_str(), data, &why)) {
        std::string what = "cannot write " + str(fileName) + ": " + why;
        RunError(101, what.c_str());
    }
}
