#include "upload/link_code_cache.h"

#include <fstream>

#include "app/data_files.h"

namespace upload {
namespace {

struct KindInfo {
  const char* file;
  const char* join;         // where two codes meet
  const char* replacement;  // the same with a line break between them
};

const KindInfo& infoOf(CodeKind kind) {
  static const KindInfo kHtml{"htmlcodes.txt", "</a><a", "</a>\r\n<a"};
  static const KindInfo kBbcode{"bbcodes.txt", "URL][U", "URL]\r\n[U"};
  return kind == CodeKind::kHtml ? kHtml : kBbcode;
}

void truncateFile(const std::string& path) { std::ofstream f(path, std::ios::out | std::ios::trunc); }

}  // namespace

const char* const kClearCacheQuestion =
    "This will remove all stored link codes retrieved from Kestrova so far.\r\n"
    "Your photos will not be deleted, just the list of codes.\r\n\r\n"
    "Are you sure you want to clear out the Link Code Cache?";

std::string cacheFilePath(CodeKind kind) { return app::dataPath(infoOf(kind).file); }

bool clearLinkCodes() {
  truncateFile(cacheFilePath(CodeKind::kHtml));
  truncateFile(cacheFilePath(CodeKind::kBbcode));
  return true;
}

std::string breakJoins(std::string text, CodeKind kind) {
  const KindInfo& info = infoOf(kind);
  const std::string join = info.join, replacement = info.replacement;
  // A replacement holds no join and cannot complete one that starts before it,
  // so searching on from its start finds what a search from the very start would.
  for (size_t at = text.find(join); at != std::string::npos; at = text.find(join, at + 1)) {
    text.replace(at, join.size(), replacement);
  }
  return text;
}

std::string viewerText(CodeKind kind) {
  std::ifstream f(cacheFilePath(kind));
  std::string text, line;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line;
  }
  return breakJoins(text, kind);
}

}  // namespace upload
