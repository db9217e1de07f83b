#include "upload/link_code_cache.h"

#include <fstream>

#include "app/data_files.h"

namespace upload {
namespace {

struct KindInfo {
  const char* file;
  const char* join;  // where two codes meet: the end of one and the start of the next
};

// Where a join is broken: behind the first code's "</a>" or "URL]".
constexpr size_t kJoinBreak = 4;

const KindInfo& infoOf(CodeKind kind) {
  static const KindInfo kHtml{app::kHtmlCodesFile, "</a><a"};
  static const KindInfo kBbcode{app::kBbCodesFile, "URL][U"};
  return kind == CodeKind::kHtml ? kHtml : kBbcode;
}

void truncateFile(const std::string& path) { std::ofstream f(path, std::ios::out | std::ios::trunc); }

std::string breakJoins(const std::string& text, CodeKind kind) {
  // One pass, copying once: replacing in place would shift the rest of the text
  // at every join. Joins that share a character ("URL][URL][U") are each broken,
  // as replacing them one after another would.
  const std::string join = infoOf(kind).join;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t copied = 0;
  for (size_t at = text.find(join); at != std::string::npos; at = text.find(join, at + 1)) {
    out.append(text, copied, at + kJoinBreak - copied);
    out += "\r\n";
    copied = at + kJoinBreak;
  }
  out.append(text, copied, std::string::npos);
  return out;
}

}  // namespace

const char* const kClearCacheQuestion =
    "This will remove all stored link codes retrieved from Kestrova so far.\r\n"
    "Your photos will not be deleted, just the list of codes.\r\n\r\n"
    "Are you sure you want to clear out the Link Code Cache?";

std::string cacheFilePath(CodeKind kind) { return app::dataPath(infoOf(kind).file); }

void clearLinkCodes() {
  truncateFile(cacheFilePath(CodeKind::kHtml));
  truncateFile(cacheFilePath(CodeKind::kBbcode));
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
