// rtfile.h - checked file input for the program's readers.
//
// Files are read whole into memory and parsed from there; a reader never
// touches bytes outside the buffer. The Rt* calls end a failed read through
// the run-time error (2, 3, 5, 100, ...); the Try* calls report instead, for
// tools that must survive bad input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "shortstring.h"

// folder + "/" + name; a path longer than a short string holds is run-time
// error 3 naming it, never a shorter path to another file.
ShortString RtJoinPath(const ShortString& folder, const ShortString& name);

// A decimal number that is the whole text, with at most one sign ("+5" and
// "-5", never "+-5"); a real must be finite. `out` changes only on success.
bool RtParseInt(std::string_view text, int32_t& out);
bool RtParseReal(std::string_view text, float& out);

// The text with every byte outside printable ASCII as \xNN: what messages
// show of names and lines that came from files.
std::string PrintableText(std::string_view text);

// Run-time error number for a failed open (errno value in, 2/3/5/... out).
int RtOpenErrorCode(int err);

// Whole file into `out`, for a regular file of at most 1 GiB (the rule of
// modules/base/filerule.h); false with the run-time error number in `*code`
// (2 no such file, a folder or no regular file; 3 no such folder; 5 access
// denied; 100 a read error; 203 larger than the limit) and the reason in
// `*why` ("no such file", "it is a folder", ...).
bool TryReadFile(const char* path, std::string& out, int* code, std::string* why = nullptr);
std::string RtReadFile(const char* path);  // ends through RunError on failure

// Writes `data` to `path` through a temporary name and a rename, so a failed
// write never leaves a half-written file; false with errno's text in `*why`.
bool TryWriteFileAtomic(const char* path, const std::string& data, std::string* why);

// Text lines out of a buffer, as a Pascal text file reads them: a line ends
// at LF (a CR before it is dropped), characters after the 255th are skipped.
struct TextReader {
    const char* data;
    size_t size;
    size_t pos;
};
inline TextReader TextReaderOf(const std::string& s) { return TextReader{s.data(), s.size(), 0}; }
bool trEof(const TextReader& r);
ShortString trReadLine(TextReader& r);  // at the end of the data: an empty line
