#include "assetbytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// ------------------------------------------------------------ 3DS

// Chunk ids: main, editor, object, camera; keyframer, camera target node,
// node header, position track.
enum : uint16_t {
    TdsMain = 0x4D4D, TdsEditor = 0x3D3D, TdsObject = 0x4000, TdsCamera = 0x4700,
    TdsKeyframer = 0xB000, TdsTargetNode = 0xB004, TdsNodeHeader = 0xB010, TdsPositionTrack = 0xB020,
};

struct TdsReader {
    const uint8_t* d;
    size_t size;
    uint16_t u16(size_t at) const { return (uint16_t)(d[at] | d[at + 1] << 8); }
    uint32_t u32(size_t at) const { return (uint32_t)u16(at) | (uint32_t)u16(at + 2) << 16; }
    float f32(size_t at) const {
        uint32_t v = u32(at);
        float f;
        memcpy(&f, &v, 4);
        return f;
    }
};

// A chunk: its id and payload [begin, end).
struct TdsChunk {
    uint16_t id;
    size_t begin, end;
};

// The chunk at `at` inside [at, limit), or false when its header or length
// do not fit.
bool tdsChunk(const TdsReader& r, size_t at, size_t limit, TdsChunk& c) {
    if (at > limit || limit - at < 6) return false;
    uint32_t len = r.u32(at + 2);
    if (len < 6 || len > limit - at) return false;
    c = {r.u16(at), at + 6, at + len};
    return true;
}

// The zero-ended name at `at` (at most to `end`); `after` is past its zero.
bool tdsName(const TdsReader& r, size_t at, size_t end, std::string& name, size_t& after) {
    const void* z = at < end ? memchr(r.d + at, 0, end - at) : nullptr;
    if (!z) return false;
    size_t n = (size_t)((const uint8_t*)z - (r.d + at));
    name.assign((const char*)r.d + at, n);
    after = at + n + 1;
    return true;
}

// A position track: flags (2), two words (8), the key count (4), then per key
// its frame (4), flags (2), one float per flag bit 0-4 (tension, continuity,
// bias, ease to, ease from) and x, y, z.
void tdsTrack(const TdsReader& r, const TdsChunk& c, std::vector<TdsKey>& keys) {
    if (c.end - c.begin < 14) return;
    uint32_t count = r.u32(c.begin + 10);
    size_t at = c.begin + 14;
    for (uint32_t k = 0; k < count; ++k) {
        if (c.end - at < 6) return;
        int32_t frame = (int32_t)r.u32(at);
        uint16_t flags = r.u16(at + 4);
        at += 6;
        for (int bit = 0; bit < 5; ++bit) at += (flags >> bit & 1) ? 4 : 0;
        if (at > c.end || c.end - at < 12) return;
        keys.push_back({frame, r.f32(at), r.f32(at + 4), r.f32(at + 8)});
        at += 12;
    }
}

// The children of `parent` one after the other, until one does not fit.
template <class F>
void tdsEach(const TdsReader& r, size_t begin, size_t end, F f) {
    TdsChunk c;
    for (size_t at = begin; tdsChunk(r, at, end, c); at = c.end) f(c);
}

// ------------------------------------------------------------ JSON

size_t skipBlanks(const std::string& j, size_t i) {
    while (i < j.size() && (j[i] == ' ' || j[i] == '\t' || j[i] == '\n' || j[i] == '\r')) ++i;
    return i;
}

// Past the string starting at `i` (its quote), or npos.
size_t skipString(const std::string& j, size_t i) {
    for (++i; i < j.size(); ++i) {
        if (j[i] == '\\') ++i;
        else if (j[i] == '"') return i + 1;
    }
    return std::string::npos;
}

// Past the value starting at `i`, or npos. Containers are walked with a
// depth count, not recursion, so no input can exhaust the stack.
size_t skipValue(const std::string& j, size_t i) {
    if (i >= j.size()) return std::string::npos;
    if (j[i] == '"') return skipString(j, i);
    if (j[i] != '{' && j[i] != '[') {
        while (i < j.size() && !strchr(",}] \t\r\n", j[i])) ++i;
        return i;
    }
    size_t depth = 0;
    while (i < j.size()) {
        char c = j[i];
        if (c == '"') {
            i = skipString(j, i);
            if (i == std::string::npos) return i;
            continue;
        }
        if (c == '{' || c == '[') ++depth;
        if ((c == '}' || c == ']') && --depth == 0) return i + 1;
        ++i;
    }
    return std::string::npos;
}

// The top-level object's opening brace, and the value of its member `key`
// (begin and end), or value = npos when it has none. False when the text is
// not an object of members.
bool topMember(const std::string& j, const std::string& key, size_t& open, size_t& value, size_t& end) {
    open = skipBlanks(j, 0);
    if (open >= j.size() || j[open] != '{') return false;
    value = std::string::npos;
    size_t i = skipBlanks(j, open + 1);
    if (i < j.size() && j[i] == '}') return true;
    while (i < j.size() && j[i] == '"') {
        size_t k = skipString(j, i);
        if (k == std::string::npos) return false;
        bool match = j.compare(i + 1, k - i - 2, key) == 0 && k - i - 2 == key.size();
        i = skipBlanks(j, k);
        if (i >= j.size() || j[i] != ':') return false;
        size_t b = skipBlanks(j, i + 1), e = skipValue(j, b);
        if (e == std::string::npos || e == b) return false;
        if (match) return value = b, end = e, true;
        i = skipBlanks(j, e);
        if (i < j.size() && j[i] == '}') return true;
        if (i >= j.size() || j[i] != ',') return false;
        i = skipBlanks(j, i + 1);
    }
    return false;
}

// Adds a member, or the entries of an array or object value in front of
// those of the member already there.
bool addMember(std::string& j, const std::string& key, const std::string& value, std::string& why) {
    size_t open, b, e;
    if (!topMember(j, key, open, b, e)) return why = "the glTF text is not a JSON object", false;
    if (b == std::string::npos) {
        bool empty = skipBlanks(j, open + 1) < j.size() && j[skipBlanks(j, open + 1)] == '}';
        j.insert(open + 1, jsonQuoted(key) + ":" + value + (empty ? "" : ","));
        return true;
    }
    if (value.size() < 2 || j[b] != value[0] || (value[0] != '[' && value[0] != '{'))
        return why = "the glTF member " + key + " is not what can be added to", false;
    std::string inner = value.substr(1, value.size() - 2);
    bool empty = j[skipBlanks(j, b + 1)] == j[e - 1];
    if (!inner.empty()) j.insert(b + 1, inner + (empty ? "" : ","));
    return true;
}

}  // namespace

bool tdsCameraTarget(const uint8_t* data, size_t size, const std::string& camera, std::vector<TdsKey>& keys) {
    keys.clear();
    TdsReader r{data, size};
    TdsChunk main;
    if (!tdsChunk(r, 0, size, main) || main.id != TdsMain) return false;
    bool fixed = false;
    TdsKey fixedKey{0, 0, 0, 0};
    tdsEach(r, main.begin, main.end, [&](const TdsChunk& part) {
        if (part.id == TdsEditor) {
            tdsEach(r, part.begin, part.end, [&](const TdsChunk& obj) {
                std::string name;
                size_t after;
                if (obj.id != TdsObject || !tdsName(r, obj.begin, obj.end, name, after) || name != camera) return;
                // Camera: position, target, bank, lens (4 bytes each).
                tdsEach(r, after, obj.end, [&](const TdsChunk& c) {
                    if (c.id != TdsCamera || c.end - c.begin < 24) return;
                    fixed = true;
                    fixedKey = {0, r.f32(c.begin + 12), r.f32(c.begin + 16), r.f32(c.begin + 20)};
                });
            });
        }
        if (part.id != TdsKeyframer) return;
        tdsEach(r, part.begin, part.end, [&](const TdsChunk& node) {
            if (node.id != TdsTargetNode) return;
            bool ours = false;
            tdsEach(r, node.begin, node.end, [&](const TdsChunk& c) {
                std::string name;
                size_t after;
                if (c.id == TdsNodeHeader) ours = tdsName(r, c.begin, c.end, name, after) && name == camera;
                if (c.id == TdsPositionTrack && ours) tdsTrack(r, c, keys);
            });
        });
    });
    // Keys in frame order, the first of a frame kept (as the library does).
    std::stable_sort(keys.begin(), keys.end(), [](const TdsKey& a, const TdsKey& b) { return a.frame < b.frame; });
    keys.erase(std::unique(keys.begin(), keys.end(), [](const TdsKey& a, const TdsKey& b) { return a.frame == b.frame; }),
               keys.end());
    if (keys.empty() && fixed) keys.push_back(fixedKey);
    return !keys.empty();
}

std::string jsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c == 0x7f) {
            char b[8];
            snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

bool gltfPatchJson(std::string& json, const GltfAdditions& add, std::string& why) {
    for (const auto& [marker, replacement] : add.nodes) {
        std::string quoted = jsonQuoted(marker);
        size_t at = json.find(quoted);
        if (at == std::string::npos || json.find(quoted, at + 1) != std::string::npos)
            return why = "the glTF text does not name node " + marker + " once", false;
        json.replace(at, quoted.size(), replacement);
    }
    for (const auto& [key, value] : add.members)
        if (!addMember(json, key, value, why)) return false;
    return true;
}

bool gltfPatchGlb(std::string& glb, const GltfAdditions& add, std::string& why) {
    TdsReader r{(const uint8_t*)glb.data(), glb.size()};  // little-endian words, as in 3DS
    // Header: "glTF", version 2, length; then the JSON chunk: length, "JSON".
    if (glb.size() < 20 || glb.compare(0, 4, "glTF") != 0 || r.u32(4) != 2 || r.u32(8) != glb.size() ||
        glb.compare(16, 4, "JSON") != 0 || r.u32(12) > glb.size() - 20)
        return why = "the binary glTF container is malformed", false;
    size_t jsonEnd = 20 + (size_t)r.u32(12);
    std::string json = glb.substr(20, jsonEnd - 20);
    if (!gltfPatchJson(json, add, why)) return false;
    json.append((4 - json.size() % 4) % 4, ' ');
    uint64_t total = 20 + json.size() + (glb.size() - jsonEnd);
    if (total > 0xFFFFFFFFu) return why = "the binary glTF would be larger than 4 GiB", false;
    auto word = [](uint32_t v) { return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; };
    glb = glb.substr(0, 8) + word((uint32_t)total) + word((uint32_t)json.size()) + "JSON" + json + glb.substr(jsonEnd);
    return true;
}
