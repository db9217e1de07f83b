// The screenshots' PNG writer: the file's chunks, checksums and pixel rows.
#include "shell/win32/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace guitest {
namespace {

uint32_t bigEndian(const std::string& s, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

TEST(PngWriter, WritesChunksWithValidChecksumsAndTheRowsOfTheImage) {
  testsupport::TempDir dir;
  Image image;
  image.width = 3;
  image.height = 2;
  image.pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000};
  const std::string path = dir.file("t.png");
  ASSERT_TRUE(writePng(path, image));

  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string file = bytes.str();
  ASSERT_EQ(file.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  std::vector<std::string> types;
  std::string idat;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t length = bigEndian(file, at);
    const std::string typeAndData = file.substr(at + 4, 4 + length);
    const uint32_t crc = bigEndian(file, at + 8 + length);
    EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size())));
    types.push_back(typeAndData.substr(0, 4));
    if (types.back() == "IHDR") {
      EXPECT_EQ(bigEndian(typeAndData, 4), 3u);
      EXPECT_EQ(bigEndian(typeAndData, 8), 2u);
      EXPECT_EQ(typeAndData.substr(12), std::string("\x08\x02\x00\x00\x00", 5));
    }
    if (types.back() == "IDAT") idat += typeAndData.substr(4);
    at += 12 + length;
  }
  EXPECT_EQ(at, file.size());
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

  std::string raw(2 * (1 + 3 * 3), '\0');
  uLongf rawSize = static_cast<uLongf>(raw.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&raw[0]), &rawSize, reinterpret_cast<const Bytef*>(idat.data()),
                       static_cast<uLong>(idat.size())),
            Z_OK);
  ASSERT_EQ(rawSize, raw.size());
  EXPECT_EQ(raw, std::string("\0\xFF\0\0\0\xFF\0\0\0\xFF"
                             "\0\x12\x34\x56\xFF\xFF\xFF\0\0\0",
                             20));
}

TEST(PngWriter, RefusesAnEmptyImage) {
  testsupport::TempDir dir;
  EXPECT_FALSE(writePng(dir.file("empty.png"), Image{}));
}

}  // namespace
}  // namespace guitest
