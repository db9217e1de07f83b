#pragma once
// Link codes: each upload reply becomes one HTML code and one BBCode, appended
// to the two files of the link-code cache.
#include <string>

namespace upload {

struct LinkCodes {
  std::string html;
  std::string bbcode;
};

// Percent-encodes what could break out of the quoted attribute of an HTML code or
// the tags of a BBCode: double quote, "<", ">", "[", "]", blanks and control
// characters. Everything else, ordinary addresses included, stays as it is.
std::string encodeForLinkCode(const std::string& address);

// The two codes for a thumbnail address and the image address it links to.
LinkCodes buildLinkCodes(const std::string& thumbUrl, const std::string& imageUrl);

// Reads the upload reply document at `replyPath` and appends its two codes to
// the cache files, HTML first. True once both codes were built, even when a
// cache file could not take them; `written` (when given) receives them, and
// `cached` (when given) whether both files took theirs whole. The files stay
// in step: when either append fails, both are cut back to what they held. False,
// with nothing appended and *why (when given) in words for the user, when
// the reply yields no codes: it cannot be read or parsed, has no "upload", holds
// an "error" (the service refused the file), lacks "thumburl" or "imageurl" or
// their text, or names an address that is not http or https (a script address
// would run where the code is pasted).
bool makeLinkCodes(const std::string& replyPath, const std::string& htmlPath, const std::string& bbcodePath,
                   LinkCodes* written = nullptr, std::string* why = nullptr, bool* cached = nullptr);

}  // namespace upload
