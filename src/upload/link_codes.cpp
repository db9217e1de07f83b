#include "upload/link_codes.h"

#include <tinyxml.h>

#include <fstream>

#include "service/xml_reading.h"

namespace upload {
namespace {

void appendTo(const std::string& path, const std::string& code) {
  std::ofstream f(path, std::ios::out | std::ios::app);
  if (f) f << code;
}

}  // namespace

std::string encodeForLinkCode(const std::string& address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(address.size());
  for (const char ch : address) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool unsafe = c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '[' || c == ']';
    if (unsafe) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
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
                   LinkCodes* written) {
  TiXmlDocument doc;
  if (!service::loadXmlFile(replyPath, &doc)) return false;
  const TiXmlElement* reply = service::firstChild(&doc, "upload");
  if (!reply || service::firstChild(reply, "error")) return false;
  std::string thumb, image;
  if (!service::elementText(service::firstChild(reply, "thumburl"), &thumb) || thumb.empty()) return false;
  if (!service::elementText(service::firstChild(reply, "imageurl"), &image) || image.empty()) return false;
  const LinkCodes codes = buildLinkCodes(thumb, image);
  appendTo(htmlPath, codes.html);
  appendTo(bbcodePath, codes.bbcode);
  if (written) *written = codes;
  return true;
}

}  // namespace upload
