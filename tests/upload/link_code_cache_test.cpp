// The viewers' text: the cache file's lines joined, every join between two codes
// broken by a line break.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>

#include "app/data_files.h"
#include "platform/files.h"
#include "support/file_text.h"
#include "support/temp_dir.h"
#include "upload/link_code_cache.h"

namespace {

// The viewer's text the plain way: line ends dropped (a CR only before LF or at
// the end), then "\r\n" after every character that ends the first four of a join.
std::string plainViewerText(const std::string& file, const std::string& join) {
  std::string joined, out;
  for (size_t i = 0; i < file.size(); ++i) {
    const bool lineEnd = file[i] == '\n' || (file[i] == '\r' && (i + 1 == file.size() || file[i + 1] == '\n'));
    if (!lineEnd) joined += file[i];
  }
  for (size_t i = 0; i < joined.size(); ++i) {
    out += joined[i];
    if (i >= 3 && joined.compare(i - 3, join.size(), join) == 0) out += "\r\n";
  }
  return out;
}

TEST(LinkCodeViewer, LargeCacheFileShowsEveryCodeOnItsOwnLineInLinearTime) {
  testsupport::TempDir dir(true);
  ASSERT_TRUE(platform::createDirectory(app::kDataFolder));
  // Codes and pieces of them in random order, joins that share a character and
  // line ends included: 16 MB, which took half a minute to show when every join
  // shifted the rest of the text.
  const char* pieces[] = {"<a href=\"http://h/i\"><img src=\"http://h/t\" border=0></a>",
                          "[URL=http://h/i][IMG]http://h/t[/IMG][/URL]", "</a><a", "</a>", "<a", "URL][U", "URL]",
                          "[U", "RL][U", "\r\n", "\n", "\r", "x"};
  std::mt19937 random(13);
  std::string file;
  while (file.size() < (16u << 20)) file += pieces[random() % (sizeof pieces / sizeof *pieces)];
  const struct {
    upload::CodeKind kind;
    const char* join;
  } kinds[] = {{upload::CodeKind::kHtml, "</a><a"}, {upload::CodeKind::kBbcode, "URL][U"}};
  for (const auto& k : kinds) {
    testsupport::writeFileBytes(upload::cacheFilePath(k.kind), file);
    const std::clock_t start = std::clock();
    const std::string shown = upload::viewerText(k.kind);
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_LT(seconds, 5.0) << k.join;
    EXPECT_TRUE(shown == plainViewerText(file, k.join)) << k.join;
    std::remove(upload::cacheFilePath(k.kind).c_str());
    EXPECT_EQ(upload::viewerText(k.kind), "") << "a missing file shows as empty";
  }
}

}  // namespace
