#pragma once
// What the console prints on standard output: albums, link codes, and their
// JSON forms.
#include <string>
#include <vector>

#include "app/desktop.h"
#include "upload/link_codes.h"

namespace console {

// One album as a line of three fields: key, tab, name, tab, description. Tabs
// and line breaks inside the name and the description print as blanks, other
// controls as plainText shows them.
std::string albumLine(const std::string& key, const app::Album& album);

// Every album of the list, as lines or as {"albums":[{key, id, name, description}]}.
void printAlbums(const app::AlbumListView& list, bool json);

// One file of an upload as the results show it.
struct FileResult {
  std::string path;
  const upload::LinkCodes* codes = nullptr;  // null when the file failed
  std::string error;                         // why it failed
};

// The HTML codes one per line, an empty line, the BBCodes one per line; or
// {"files":[{path, ok, html, bbcode, error}]} with every file.
void printUploadResults(const std::vector<FileResult>& files, bool json);

// {"error": text} for a command that failed before it had results.
void printJsonError(const std::string& text);

// Flushes standard output. False when any write to it failed; *why then tells why.
bool outputWritten(std::string* why);

}  // namespace console
