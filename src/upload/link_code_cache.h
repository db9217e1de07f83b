#pragma once
// The link-code cache: two text files in which the codes of this run collect,
// back to back with nothing between them, and the text the viewers show.
#include <string>

#include "app/desktop.h"

namespace upload {

using app::CodeKind;

// The cache file of a kind, under the data folder.
std::string cacheFilePath(CodeKind kind);

// Empties both cache files (HTML first). A file that cannot be opened is left
// as it is, unreported, as the cache always did.
void clearLinkCodes();

// The viewer's text: the file's lines joined without their line ends, then every
// join between two codes ("</a><a" or "URL][U") broken by "\r\n", so each code
// stands on a line of its own and the last has no line break after it. A missing
// file gives an empty text.
std::string viewerText(CodeKind kind);

// The question the Clear Code Cache command asks first.
extern const char* const kClearCacheQuestion;

}  // namespace upload
