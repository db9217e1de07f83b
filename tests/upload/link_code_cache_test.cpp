#include "upload/link_code_cache.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <random>

#include "platform/files.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace {

// 16 MB of codes, pieces of them, joins that share a character and line ends,
// which took half a minute to show when every join shifted the rest of the text.
TEST(LinkCodeViewer, ShowsEveryCodeOnItsOwnLineInLinearTime) {
  testsupport::TempDir dir(true);
  ASSERT_TRUE(platform::createDirectory("data"));
  const char* pieces[] = {"<a href=\"http://h/i\"><img src=\"http://h/t\" border=0></a>",
                          "[URL=http://h/i][IMG]http://h/t[/IMG][/URL]", "</a><a", "</a>", "<a", "URL][U", "URL]",
                          "[U", "RL][U", "\r\n", "\n", "\r", "x"};
  std::mt19937 random(13);
  std::string file, joined;
  while (file.size() < (16u << 20)) file += pieces[random() % 13];
  // The plain way: line ends dropped (a CR only before LF or at the end), then a
  // line break after every character that ends the first four of a join.
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] != '\n' && (file[i] != '\r' || (i + 1 < file.size() && file[i + 1] != '\n'))) joined += file[i];
  }
  for (const auto& kind : {std::make_pair(upload::CodeKind::kHtml, "</a><a"),
                           std::make_pair(upload::CodeKind::kBbcode, "URL][U")}) {
    std::string expected;
    for (size_t i = 0; i < joined.size(); ++i) {
      expected += joined[i];
      if (i >= 3 && joined.compare(i - 3, 6, kind.second) == 0) expected += "\r\n";
    }
    testsupport::writeFileBytes(upload::cacheFilePath(kind.first), file);
    const std::clock_t start = std::clock();
    const std::string shown = upload::viewerText(kind.first);
    EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, 5.0) << kind.second;
    EXPECT_TRUE(shown == expected) << kind.second;
  }
  std::filesystem::remove(upload::cacheFilePath(upload::CodeKind::kHtml));
  EXPECT_EQ(upload::viewerText(upload::CodeKind::kHtml), "") << "a missing file shows as empty";
}

}  // namespace
