// json.h - a small JSON writer for velmar's output.
//
// Numbers are written in their shortest form that reads back exactly;
// floats as floats (0.1f prints 0.1), so a dump matches what the file held.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

struct JsonOut {
    std::string s;
    bool needComma = false;
};

inline void jsonSep(JsonOut& j) {
    if (j.needComma) j.s += ',';
    j.needComma = false;
}
inline void jsonKey(JsonOut& j, std::string_view k);
inline void jsonString(JsonOut& j, std::string_view v) {
    jsonSep(j);
    j.s += '"';
    for (unsigned char c : v) {
        switch (c) {
        case '"': j.s += "\\\""; break;
        case '\\': j.s += "\\\\"; break;
        case '\n': j.s += "\\n"; break;
        case '\r': j.s += "\\r"; break;
        case '\t': j.s += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                // Bytes outside ASCII are shown as their Latin-1 code points,
                // so any file name or label prints as valid JSON.
                char b[8];
                snprintf(b, sizeof b, "\\u%04x", c);
                j.s += b;
            } else {
                j.s += (char)c;
            }
        }
    }
    j.s += '"';
    j.needComma = true;
}
inline void jsonKey(JsonOut& j, std::string_view k) {
    jsonString(j, k);
    j.s += ':';
    j.needComma = false;
}
inline void jsonInt(JsonOut& j, int64_t v) {
    jsonSep(j);
    j.s += std::to_string(v);
    j.needComma = true;
}
inline void jsonFloat(JsonOut& j, float v) {
    jsonSep(j);
    if (!std::isfinite(v)) {
        j.s += "null";
    } else {
        char b[32];
        auto r = std::to_chars(b, b + sizeof b, v);
        j.s.append(b, r.ptr);
    }
    j.needComma = true;
}
inline void jsonBool(JsonOut& j, bool v) {
    jsonSep(j);
    j.s += v ? "true" : "false";
    j.needComma = true;
}
inline void jsonNull(JsonOut& j) {
    jsonSep(j);
    j.s += "null";
    j.needComma = true;
}
inline void jsonOpen(JsonOut& j, char c) {
    jsonSep(j);
    j.s += c;
    j.needComma = false;
}
inline void jsonClose(JsonOut& j, char c) {
    j.s += c;
    j.needComma = true;
}
