#include "shell/console/results.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shell/console/json.h"
#include "shell/console/plain_text.h"

namespace console {
namespace {

std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return text;
}

}  // namespace

std::string albumLine(const std::string& key, const app::Album& album) {
  return plainText(key) + "\t" + plainText(oneLine(album.name)) + "\t" + plainText(oneLine(album.description));
}

void printAlbums(const app::AlbumListView& list, bool json) {
  if (!json) {
    for (int i = 0; i < list.count(); ++i) std::printf("%s\n", albumLine(list.itemText(i), *list.album(i)).c_str());
    return;
  }
  std::printf("{\"albums\":[");
  for (int i = 0; i < list.count(); ++i) {
    const app::Album* a = list.album(i);
    std::printf("%s{\"key\":%s,\"id\":%d,\"name\":%s,\"description\":%s}", i ? "," : "",
                jsonString(list.itemText(i)).c_str(), int(a->id), jsonString(a->name).c_str(),
                jsonString(a->description).c_str());
  }
  std::printf("]}\n");
}

void printUploadResults(const std::vector<FileResult>& files, bool json) {
  if (!json) {
    for (const auto& f : files)
      if (f.codes) std::printf("%s\n", plainText(f.codes->html).c_str());
    std::printf("\n");
    for (const auto& f : files)
      if (f.codes) std::printf("%s\n", plainText(f.codes->bbcode).c_str());
    return;
  }
  std::printf("{\"files\":[");
  for (size_t i = 0; i < files.size(); ++i) {
    const FileResult& f = files[i];
    std::printf("%s{\"path\":%s,\"ok\":%s,\"html\":%s,\"bbcode\":%s,\"error\":%s}", i ? "," : "",
                jsonString(f.path).c_str(), f.codes ? "true" : "false",
                f.codes ? jsonString(f.codes->html).c_str() : "null",
                f.codes ? jsonString(f.codes->bbcode).c_str() : "null",
                f.codes ? "null" : jsonString(f.error).c_str());
  }
  std::printf("]}\n");
}

void printJsonError(const std::string& text) { std::printf("{\"error\":%s}\n", jsonString(text).c_str()); }

bool outputWritten(std::string* why) {
  errno = 0;
  const bool ok = std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!ok) *why = errno ? std::strerror(errno) : "write error";
  return ok;
}

}  // namespace console
