// shortstring.h - the program's text record: a length byte and 255 characters.
//
// Names, paths, keys and log lines are ShortStrings. The record is exactly
// the 256 bytes a scene file stores for a string (element type 8), so a
// string chunk is copied in one piece. Everything that makes a ShortString
// cuts at 255 characters, never past it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

struct ShortString {
    uint8_t len;
    char text[255];
};
static_assert(sizeof(ShortString) == 256, "a ShortString is the 256-byte file record");

inline ShortString S(std::string_view v) {
    ShortString s;
    s.len = (uint8_t)(v.size() > 255 ? 255 : v.size());
    if (s.len) std::memcpy(s.text, v.data(), s.len);  // an empty view may hold a null pointer
    std::memset(s.text + s.len, 0, 255 - s.len);
    return s;
}
inline ShortString S(const char* c) { return S(std::string_view(c ? c : "")); }

inline std::string_view view(const ShortString& s) { return std::string_view(s.text, s.len); }
inline std::string str(const ShortString& s) { return std::string(s.text, s.len); }

// Concatenation cut at 255 characters.
inline ShortString operator+(const ShortString& a, std::string_view b) {
    ShortString r = a;
    size_t n = b.size();
    if (n > 255u - r.len) n = 255u - r.len;
    if (n) std::memcpy(r.text + r.len, b.data(), n);
    r.len = (uint8_t)(r.len + n);
    return r;
}
inline ShortString operator+(const ShortString& a, const ShortString& b) { return a + view(b); }
inline ShortString operator+(const ShortString& a, const char* b) { return a + std::string_view(b); }

inline bool operator==(const ShortString& a, const ShortString& b) { return view(a) == view(b); }
inline bool operator==(const ShortString& a, std::string_view b) { return view(a) == b; }

// The first n characters (all of them when n is larger).
inline ShortString ssLeft(const ShortString& s, int n) {
    return S(view(s).substr(0, n < 0 ? 0 : (size_t)n));
}
