#include "shell/win32/png_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace guitest {
namespace {

void putBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void putChunk(std::string& out, const char* type, const std::string& data) {
  putBigEndian(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  putBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                static_cast<uInt>(body.size()))));
}

}  // namespace

Image captureScreen(const RECT& rect) {
  // Wine hands what a window painted to the X server when its thread next waits
  // for messages; a test that captures right after painting, on a busy thread,
  // waits for none without this. It takes no message out of the queue.
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
  Image image;
  image.width = rect.right - rect.left;
  image.height = rect.bottom - rect.top;
  if (image.width <= 0 || image.height <= 0) return Image{};

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, image.width, image.height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  const auto* words = static_cast<const uint32_t*>(bits);
  image.pixels.assign(words, words + static_cast<size_t>(image.width) * image.height);
  for (uint32_t& p : image.pixels) p &= 0x00FFFFFF;
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

Image captureWindow(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return captureScreen(r);
}

bool writePng(const std::string& path, const Image& image) {
  if (image.width <= 0 || image.height <= 0) return false;
  std::string raw;
  raw.reserve(static_cast<size_t>(image.height) * (1 + 3 * image.width));
  for (int y = 0; y < image.height; ++y) {
    raw.push_back('\0');  // filter: none
    for (int x = 0; x < image.width; ++x) {
      const uint32_t p = image.at(x, y);
      raw.push_back(static_cast<char>((p >> 16) & 0xFF));
      raw.push_back(static_cast<char>((p >> 8) & 0xFF));
      raw.push_back(static_cast<char>(p & 0xFF));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(packedSize);

  std::string header;
  putBigEndian(header, static_cast<uint32_t>(image.width));
  putBigEndian(header, static_cast<uint32_t>(image.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter set, no interlace

  std::string file("\x89PNG\r\n\x1a\n", 8);
  putChunk(file, "IHDR", header);
  putChunk(file, "IDAT", packed);
  putChunk(file, "IEND", std::string());

  std::unique_ptr<FILE, int (*)(FILE*)> out(fopen(path.c_str(), "wb"), fclose);
  return out && fwrite(file.data(), 1, file.size(), out.get()) == file.size();
}

std::string saveScreenshot(const std::string& name, const Image& image) {
  const char* folder = getenv("FLINGPOST_SCREENSHOTS");
  if (!folder || !*folder) return std::string();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string path = (std::filesystem::path(folder) / name).string();
  return writePng(path, image) ? path : std::string();
}

}  // namespace guitest
