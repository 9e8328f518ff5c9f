// Layer files: reading and key evaluation (no GL here).
#include <charconv>
#include <cmath>

#include "../frame/frame.h"
#include "layers.h"
#include "layers_internal.h"

namespace {

bool isTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimView(std::string_view v) {
    while (!v.empty() && isTrimmed(v.front())) v.remove_prefix(1);
    while (!v.empty() && isTrimmed(v.back())) v.remove_suffix(1);
    return v;
}

// The standard string-to-integer conversion: the whole value, decimal.
int32_t toInt(const ShortString& value) {
    std::string_view v = view(value);
    int32_t out = 0;
    if (!RtParseInt(v, out)) {
        std::string msg = "\"" + std::string(v) + "\" is an invalid integer";
        RunError(106, msg.c_str());
    }
    return out;
}

// Round to nearest, halves to even, into 64 bits (then cut by the caller).
int64_t roundEven(float f) {
    if (!std::isfinite(f)) return 0;
    double r = std::nearbyint((double)f);
    if (r > 9.2e18 || r < -9.2e18) return 0;
    return (int64_t)r;
}

// An upper bound of the lines a text still holds (each but the last ends in
// a line feed), so a count can be checked without a pass over the text.
size_t linesLeft(const TextReader& r) { return r.pos >= r.size ? 0 : r.size - r.pos; }

[[noreturn]] void refuse(const ShortString& fileName, const char* why) {
    FatalStop(S("Interface layer file (") + fileName + ") " + why);
}

}  // namespace

ShortString ifeReadValue(TextReader& file) {
    ShortString line = trReadLine(file);
    // A comment needs "#" as its very first character; past the end of the
    // file the value is empty and reading stops.
    while (line.len > 0 && line.text[0] == '#') {
        if (trEof(file)) return S("");
        line = trReadLine(file);
    }
    return S(trimView(view(line)));
}

ShortString ifeField(const ShortString& text, int n) {
    std::string_view v = view(text);
    for (int i = 1; i < n; ++i) {
        size_t blank = v.find(' ');
        if (blank == std::string_view::npos) return S("");
        v.remove_prefix(blank + 1);
    }
    size_t blank = v.find(' ');
    if (blank != std::string_view::npos) v = v.substr(0, blank);
    return S(trimView(v));
}

float ifeFieldFloat(const ShortString& text, int n) {
    ShortString f = ifeField(text, n);
    float out = 0;
    RtParseReal(view(f), out);  // malformed or missing numbers read as 0
    return out;
}

void ifeParseWith(InterfaceLayerSet& set, const std::string& text, const ShortString& fileName,
                  const ShortString& folder, IfeTextureProc textureFor) {
    TextReader file = TextReaderOf(text);
    int32_t count = toInt(ifeReadValue(file));
    set.header = toInt(ifeReadValue(file));
    // Every layer takes at least six lines: a count beyond what the file
    // can hold is a broken file, not a request for millions of empty layers.
    if (count < 0 || (size_t)count > linesLeft(file) / 6 + 1) refuse(fileName, "is cut short or has a wrong layer count.");
    set.count = count;
    set.layers = (InterfaceLayer*)Base.BS_MemGet(sizeof(InterfaceLayer) * (size_t)count, "Interface layers");
    for (int32_t i = 0; i < count; ++i) {
        InterfaceLayer& l = set.layers[i];
        l.texturename = ifeReadValue(file);
        l.text2 = ifeReadValue(file);
        if (textureFor) l.gltexture = textureFor(l.texturename, folder);
        l.text3 = ifeReadValue(file);
        l.keycount = toInt(ifeReadValue(file));
        l.blend = (uint8_t)toInt(ifeReadValue(file));
        if (l.keycount <= 0) refuse(fileName, "has a layer without keys.");
        // Key lines missing at the end of the file read as zeros; a count the
        // file could never hold is refused.
        if ((size_t)l.keycount > linesLeft(file) + 1) refuse(fileName, "is cut short in its key lines.");
        l.keys = (LayerKey*)Base.BS_MemGet(sizeof(LayerKey) * (size_t)l.keycount, "Animation keys for interface");
        for (int32_t k = 0; k < l.keycount; ++k) {
            ShortString line = ifeReadValue(file);
            LayerKey& key = l.keys[k];
            key.time = (int32_t)roundEven(ifeFieldFloat(line, 1));
            key.x = ifeFieldFloat(line, 2);
            key.y = ifeFieldFloat(line, 3);
            key.ease = (uint8_t)roundEven(ifeFieldFloat(line, 4));
            key.angle = ifeFieldFloat(line, 5);
            key.width = ifeFieldFloat(line, 6);
            key.height = ifeFieldFloat(line, 7);
            key.red = ifeFieldFloat(line, 8);
            key.green = ifeFieldFloat(line, 9);
            key.blue = ifeFieldFloat(line, 10);
            key.alpha = ifeFieldFloat(line, 11);
        }
    }
}

void ifeParse(InterfaceLayerSet& set, const std::string& text, const ShortString& fileName) {
    ifeParseWith(set, text, fileName, S(""), nullptr);
}

void ifeFreeWith(InterfaceLayerSet& set, void (*release)(uint32_t)) {
    // A load refused part way (tools, tests) may have its count but no
    // layers; an empty file has a block of no layers, given back too.
    for (int32_t i = 0; set.layers && i < set.count; ++i) {
        InterfaceLayer& l = set.layers[i];
        if (release) release(l.gltexture);
        void* k = l.keys;
        Base.BS_MemFree(&k);
        l.keys = nullptr;
    }
    void* p = set.layers;
    Base.BS_MemFree(&p);
    set.layers = nullptr;
    set.count = 0;
}

float ifeInterpolate(float a, float b, float f, int kind) {
    const float halfPi = 1.57079632679489661923f;
    switch (kind) {
    case 1: return a + (b - a) * std::sin(halfPi * f);
    case 2: return a + (b - a) * (1 - std::sin(halfPi + halfPi * f));
    default: return a + (b - a) * f;  // 0, and any unknown kind
    }
}

LayerState ifeEvaluate(const InterfaceLayer& layer, float time) {
    LayerState s{};
    int32_t n = layer.keycount;
    if (n <= 0 || !layer.keys) return s;
    int32_t e = 0, l = n - 1;
    for (int32_t j = 0; j < n; ++j) {
        if (time >= (float)layer.keys[j].time) e = j;
        if (time <= (float)layer.keys[n - 1 - j].time) l = n - 1 - j;
    }
    const LayerKey& a = layer.keys[e];
    const LayerKey& b = layer.keys[l];
    float span = (float)((int64_t)b.time - (int64_t)a.time);
    // Two keys at one time: the later key's values, no division by zero.
    float f = (e == l || span == 0) ? 0.0f : (time - (float)a.time) / span;
    int kind = a.ease;
    s.angle = ifeInterpolate(a.angle, b.angle, f, kind);
    s.x = ifeInterpolate(a.x, b.x, f, kind);
    s.y = ifeInterpolate(a.y, b.y, f, kind);
    s.width = ifeInterpolate(a.width, b.width, f, kind);
    s.height = ifeInterpolate(a.height, b.height, f, kind);
    s.red = ifeInterpolate(a.red, b.red, f, kind) / 255;
    s.green = ifeInterpolate(a.green, b.green, f, kind) / 255;
    s.blue = ifeInterpolate(a.blue, b.blue, f, kind) / 255;
    s.alpha = ifeInterpolate(a.alpha, b.alpha, f, kind) / 255;
    return s;
}
