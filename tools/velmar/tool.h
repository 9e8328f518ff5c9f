// tool.h - what every velmar subcommand shares.
//
// The tool binds the Base module like the program does, but a bad file must
// never end it through the show's run-time error report or fatal stop: those
// throw ToolFailure here, and the command prints one clear line and exits 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ToolFailure {
    std::string message;
};

[[noreturn]] void toolFail(const std::string& message);

// Arguments of a subcommand, after its name.
struct ToolArgs {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // in order
    bool help = false;
};

// `valueOptions` take a value; `flagOptions` do not. Anything else starting
// with "--" is an unknown option (toolFail).
ToolArgs toolParse(int argc, char** argv, const std::vector<std::string>& valueOptions,
                   const std::vector<std::string>& flagOptions = {});

// Reads a whole file or fails with "cannot read FILE: reason".
std::string toolReadFile(const std::string& path);

// Loads a scene file with the program's loader; every failure names the
// file ("FILE: Chunk size corruption !").
struct Scene;
struct SceneLoadStats;
void toolLoadScene(Scene& scene, const std::string& path, SceneLoadStats* stats = nullptr);

// Whole number / decimal from an option value, or toolFail naming the option.
long toolInt(const std::string& option, const std::string& value);
double toolNumber(const std::string& option, const std::string& value);

// A PNG file's bytes of `channels` (3 RGB, 4 RGBA) bytes a pixel, top row
// first, rows `stride` bytes apart.
std::string toolPng(int w, int h, int channels, const uint8_t* rows, size_t stride);

// Prints usage text for a subcommand and returns 0.
int toolHelp(const char* text);
