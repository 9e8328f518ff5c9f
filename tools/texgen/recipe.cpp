// Texture recipes: the text format read into a TexRecipe.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "texgen.h"

namespace {

struct OpInfo {
    const char* name;
    const char* args;
};
#define TEXGEN_INFO(name, args) {#name, args},
const OpInfo OpTable[TG_OPCOUNT] = {TEXGEN_OPS(TEXGEN_INFO)};
#undef TEXGEN_INFO

#define TEXGEN_NAME(name) #name,
const char* const BlendNames[TGB_COUNT] = {TEXGEN_BLENDS(TEXGEN_NAME)};
const char* const FormatNames[TGF_COUNT] = {TEXGEN_FORMATS(TEXGEN_NAME)};
#undef TEXGEN_NAME

struct Token {
    std::string text;
    bool quoted;
};

bool fail(TexError& err, int32_t line, const char* fmt, ...) {
    err.line = line;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(err.text, sizeof err.text, fmt, ap);
    va_end(ap);
    return false;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseColor(const std::string& s, TgColor& c) {
    if ((s.size() != 7 && s.size() != 9) || s[0] != '#') return false;
    float v[4] = {0, 0, 0, 1};
    for (size_t i = 1, k = 0; i < s.size(); i += 2, ++k) {
        int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        v[k] = (float)(hi * 16 + lo) / 255.0f;
    }
    c = {v[0], v[1], v[2], v[3]};
    return true;
}

bool parseNumber(const std::string& s, float& out) {
    if (s.empty() || s.size() > 40) return false;
    char* end = nullptr;
    double v = strtod(s.c_str(), &end);
    if (*end || !std::isfinite(v) || std::fabs(v) > 1e9) return false;
    out = (float)v;
    return true;
}

bool parseWhole(const std::string& s, long lo, long hi, long& out) {
    if (s.empty() || s.size() > 12) return false;
    char* end = nullptr;
    long v = strtol(s.c_str(), &end, 10);
    if (*end || v < lo || v > hi) return false;
    out = v;
    return true;
}

int lookup(const std::string& word, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (word == names[i]) return i;
    return -1;
}

// Splits a line into words and quoted texts; false on an unclosed quote.
bool tokenize(const char* p, const char* end, std::vector<Token>& out) {
    out.clear();
    while (p < end) {
        if (*p == ' ' || *p == '\t' || *p == '\r') {
            ++p;
            continue;
        }
        Token t{"", *p == '"'};
        if (t.quoted) {
            const char* q = (const char*)memchr(p + 1, '"', (size_t)(end - p - 1));
            if (!q) return false;
            t.text.assign(p + 1, q);
            p = q + 1;
        } else {
            while (p < end && *p != ' ' && *p != '\t' && *p != '\r') t.text += *p++;
        }
        out.push_back(t);
    }
    return true;
}

// Ranges of each operation's numbers, in argument order.
struct Range {
    float lo, hi, fallback;
};
bool numberRange(int kind, int k, Range& r) {
    switch (kind) {
    case TG_gradient: r = {-3600, 3600, 0}; return true;
    case TG_noise: r = k == 0 ? Range{1, 1024, 8} : Range{1, 8, 4}; return true;
    case TG_plasma: r = {0.1f, 256, 2}; return true;
    case TG_checkers: r = {1, 4096, 8}; return true;
    case TG_dot: r = k == 0 ? Range{0, 1, 1} : Range{0, 1, 1}; return true;
    case TG_stars: r = k == 0 ? Range{0, 100000, 100} : Range{0.5f, 16, 1}; return true;
    case TG_frame: r = {0, 4096, 1}; return true;
    case TG_text: r = {4, 1024, 32}; return true;
    default: return false;
    }
}

}  // namespace

const char* tgFormatName(int32_t format) { return format >= 0 && format < TGF_COUNT ? FormatNames[format] : "?"; }

bool tgParse(TexRecipe& r, const char* data, size_t size, TexError& err) {
    r.width = r.height = 256;
    r.format = TGF_auto;
    r.opcount = 0;
    err = TexError{};
    int32_t blend = TGB_mix;
    float opacity = 1;
    uint32_t seed = 1;
    bool sized = false;
    std::vector<Token> words;
    const char* p = data;
    const char* end = data + size;
    for (int32_t line = 1; p < end; ++line) {
        const char* eol = (const char*)memchr(p, '\n', (size_t)(end - p));
        if (!eol) eol = end;
        const char* lineStart = p;
        p = eol + 1;
        if (eol - lineStart > 1000) return fail(err, line, "line longer than 1000 characters");
        if (memchr(lineStart, 0, (size_t)(eol - lineStart))) return fail(err, line, "a zero byte in the text");
        if (!tokenize(lineStart, eol, words)) return fail(err, line, "a quoted text is not closed");
        if (words.empty() || (!words[0].quoted && words[0].text[0] == '#')) continue;
        if (words[0].quoted) return fail(err, line, "a line starts with a word, not a quoted text");
        const std::string& w = words[0].text;
        size_t n = words.size() - 1;
        if (w == "size") {
            long a = 0, b = 0;
            if (n != 2 || !parseWhole(words[1].text, 1, TexMaxSide, a) || !parseWhole(words[2].text, 1, TexMaxSide, b))
                return fail(err, line, "size wants a width and a height of 1 to %d pixels", TexMaxSide);
            if (sized) return fail(err, line, "size given twice");
            if (r.opcount > 0) return fail(err, line, "size comes before the first layer");
            r.width = (int32_t)a, r.height = (int32_t)b, sized = true;
        } else if (w == "format") {
            int f = n == 1 ? lookup(words[1].text, FormatNames, TGF_COUNT) : -1;
            if (f < 0) return fail(err, line, "format wants auto, tga24, tga32, png24, png32, dxt1 or dxt5");
            r.format = f;
        } else if (w == "seed") {
            long v = 0;
            if (n != 1 || !parseWhole(words[1].text, 0, 2147483647L, v))
                return fail(err, line, "seed wants a whole number 0 or above");
            seed = (uint32_t)v;
        } else if (w == "blend") {
            int b = n == 1 ? lookup(words[1].text, BlendNames, TGB_COUNT) : -1;
            if (b < 0) return fail(err, line, "blend wants mix, add, multiply, screen, max or replace");
            blend = b;
        } else if (w == "opacity") {
            float v = 0;
            if (n != 1 || !parseNumber(words[1].text, v) || v < 0 || v > 1)
                return fail(err, line, "opacity wants a number from 0 to 1");
            opacity = v;
        } else {
            int kind = -1;
            for (int k = 0; k < TG_OPCOUNT; ++k)
                if (w == OpTable[k].name) kind = k;
            if (kind < 0) return fail(err, line, "unknown statement \"%.40s\"", w.c_str());
            if (r.opcount >= TexMaxOps) return fail(err, line, "more than %d layers", TexMaxOps);
            TgOp& op = r.ops[r.opcount];
            op = TgOp{};
            op.kind = kind, op.line = line, op.blend = blend, op.opacity = opacity;
            op.seed = seed + (uint32_t)r.opcount * 7919u;
            const char* spec = OpTable[kind].args;
            size_t need = 0, most = 0;
            for (const char* s = spec; *s; ++s)
                if (*s != '|') ++most, need += strchr(spec, '|') == nullptr || s < strchr(spec, '|');
            if (n < need || n > most)
                return fail(err, line, "%s wants %zu to %zu values, not %zu", w.c_str(), need, most, n);
            size_t k = 1;
            for (const char* s = spec; *s && k <= n; ++s) {
                if (*s == '|') continue;
                const Token& t = words[k++];
                if (*s == 'c') {
                    if (t.quoted || !parseColor(t.text, op.color[op.colors++]))
                        return fail(err, line, "value %zu of %s is not a colour (#rrggbb or #rrggbbaa)", k - 1, w.c_str());
                } else if (*s == 'n' || *s == 'i') {
                    float v = 0;
                    Range range{};
                    numberRange(kind, op.numbers, range);
                    bool ok = !t.quoted && parseNumber(t.text, v) && v >= range.lo && v <= range.hi;
                    if (ok && *s == 'i') ok = v == std::floor(v);
                    if (!ok)
                        return fail(err, line, "value %zu of %s wants %s from %g to %g", k - 1, w.c_str(),
                                    *s == 'i' ? "a whole number" : "a number", (double)range.lo, (double)range.hi);
                    op.number[op.numbers++] = v;
                } else if (*s == 's') {
                    if (t.quoted || t.text.size() > 255) return fail(err, line, "value %zu of %s wants a file name", k - 1, w.c_str());
                    op.word = S(t.text);
                } else if (*s == 't') {
                    if (!t.quoted || t.text.size() > 255)
                        return fail(err, line, "value %zu of %s wants a quoted text of at most 255 characters", k - 1, w.c_str());
                    op.text = S(t.text);
                }
            }
            // Numbers left out take their defaults.
            for (int32_t i = op.numbers; i < 3; ++i) {
                Range range{};
                if (numberRange(kind, i, range)) op.number[i] = range.fallback;
            }
            ++r.opcount;
        }
    }
    return true;
}

int32_t tgChooseFormat(int32_t format, const std::string& outName, bool hasAlpha) {
    std::string ext;
    size_t dot = outName.rfind('.');
    if (dot != std::string::npos && outName.find('/', dot) == std::string::npos)
        for (size_t i = dot; i < outName.size(); ++i) ext += (char)tolower((unsigned char)outName[i]);
    int32_t byExt = ext == ".tga" ? (hasAlpha ? TGF_tga32 : TGF_tga24)
                  : ext == ".png" ? (hasAlpha ? TGF_png32 : TGF_png24)
                  : ext == ".dds" ? (hasAlpha ? TGF_dxt5 : TGF_dxt1)
                                  : TGF_auto;
    return format == TGF_auto ? byExt : format;
}
