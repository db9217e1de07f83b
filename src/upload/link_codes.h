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
// the cache files, HTML first. Silent: false when the reply holds no usable
// addresses (no document, no "upload", an "error", a missing or empty
// "thumburl" or "imageurl"); true once both codes were built, even when a cache
// file could not be opened. `written` (when given) receives the codes.
bool makeLinkCodes(const std::string& replyPath, const std::string& htmlPath, const std::string& bbcodePath,
                   LinkCodes* written = nullptr);

}  // namespace upload
