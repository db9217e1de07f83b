#pragma once
// Screenshots for the GUI tests: the screen under a window captured into memory,
// sampled, and written as a PNG file.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace guitest {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom

  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The screen's content in `rect` (screen coordinates), as shown now.
Image captureScreen(const RECT& rect);
// The whole window (frame included) as the screen shows it.
Image captureWindow(HWND window);

// An 8-bit RGB PNG; false when the file could not be written.
bool writePng(const std::string& path, const Image& image);

// Writes `image` as NAME into the folder named by FLINGPOST_SCREENSHOTS, when
// that variable is set; returns the path written, or "" when none was.
std::string saveScreenshot(const std::string& name, const Image& image);

// A COLORREF (0x00BBGGRR) as the 0x00RRGGBB of Image pixels.
constexpr uint32_t rgbOf(COLORREF c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace guitest
