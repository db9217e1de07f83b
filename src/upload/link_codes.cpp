#include "upload/link_codes.h"

#include <tinyxml.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "app/service_endpoint.h"
#include "app/web_address.h"
#include "service/xml_reading.h"
#include "upload/failure_reason.h"

namespace upload {
namespace {

// The size of `path` before an append, to cut a failed append off again.
uintmax_t sizeOf(const std::string& path) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

bool appendTo(const std::string& path, const std::string& code) {
  std::ofstream f(path, std::ios::out | std::ios::app);
  f << code;
  f.close();
  return !f.fail();
}

void cutBack(const std::string& path, uintmax_t size) {
  std::error_code ec;
  std::filesystem::resize_file(path, size, ec);
}

// Only http and https addresses become codes: whatever else a browser would
// follow ("javascript:", "data:", ...) could run or show anything where the code
// is pasted.
bool isWebAddress(const std::string& address) {
  bool secure = false;
  return app::webScheme(address, &secure) > 0;
}

}  // namespace

std::string encodeForLinkCode(const std::string& address) {
  std::string out;
  out.reserve(address.size());
  for (const char ch : address) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool unsafe = c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '[' || c == ']';
    if (unsafe) {
      app::appendPercentEscape(c, &out);
    } else {
      out += ch;
    }
  }
  return out;
}

LinkCodes buildLinkCodes(const std::string& thumbUrl, const std::string& imageUrl) {
  const std::string t = encodeForLinkCode(thumbUrl);
  const std::string i = encodeForLinkCode(imageUrl);
  return {"<a href=\"" + i + "\"><img src=\"" + t + "\" border=0></a>", "[URL=" + i + "][IMG]" + t + "[/IMG][/URL]"};
}

bool makeLinkCodes(const std::string& replyPath, const std::string& htmlPath, const std::string& bbcodePath,
                   LinkCodes* written, std::string* why, bool* cached) {
  const auto fail = [why](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  const std::string noAddress = "the reply names no image address";
  TiXmlDocument doc;
  std::string unread;
  if (!service::loadXmlFile(replyPath, &doc, &unread)) return fail(noAddress + " (" + excerpt(unread, 200) + ")");
  const TiXmlElement* reply = service::firstChild(&doc, "upload");
  if (!reply) return fail(noAddress);
  if (const TiXmlElement* error = service::firstChild(reply, "error")) {
    std::string text;
    service::elementText(error, &text);
    const std::string shown = excerpt(text, 200);
    return fail("the service refused the file" + (shown.empty() ? "" : ": " + shown));
  }
  std::string thumb, image;
  if (!service::elementText(service::firstChild(reply, "thumburl"), &thumb) || thumb.empty()) return fail(noAddress);
  if (!service::elementText(service::firstChild(reply, "imageurl"), &image) || image.empty()) return fail(noAddress);
  for (const std::string* address : {&image, &thumb}) {
    if (!isWebAddress(*address)) {
      return fail("the reply names an address that is neither http nor https: " + excerpt(*address, 100));
    }
  }
  const LinkCodes codes = buildLinkCodes(thumb, image);
  // Nothing pairs an HTML code with its BBCode but their places in the files,
  // so a code that one file could not take must not stay in the other.
  const uintmax_t htmlSize = sizeOf(htmlPath), bbcodeSize = sizeOf(bbcodePath);
  const bool both = appendTo(htmlPath, codes.html) && appendTo(bbcodePath, codes.bbcode);
  if (!both) {
    cutBack(htmlPath, htmlSize);
    cutBack(bbcodePath, bbcodeSize);
  }
  if (cached) *cached = both;
  if (written) *written = codes;
  return true;
}

}  // namespace upload
