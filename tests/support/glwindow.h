// glwindow.h - a real GL window inside a test program, opened the way the
// program opens it (the WM module, the GL and GLU bindings, the window
// opener; the texture loader bound too) with the real Mesa context, headless,
// so a test can draw with the program's code and read the pixels back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// False (with the reason) when no window could be made.
// `options` go to the Base module as the program's command line does.
bool OpenRealWindow(int width, int height, std::string* why = nullptr, const std::vector<std::string>& options = {});
void CloseRealWindow();

// RGBA bytes of a rectangle, bottom row first, as GL reads them.
std::vector<uint8_t> ReadRGBA(int x, int y, int width, int height);
uint32_t PixelAt(int x, int y);  // 0xRRGGBBAA

// An uncompressed TGA (24 or 32 bits, top row first) of the given pixels
// (RGB or RGBA, top row first).
std::string TgaImage(int width, int height, int bits, const std::vector<uint8_t>& pixels);
std::string SolidTga(int width, int height, uint8_t r, uint8_t g, uint8_t b);
