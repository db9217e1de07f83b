#include "upload/link_codes.h"

#include <tinyxml.h>

#include <fstream>

namespace upload {
namespace {

// The text of an element: the value of its first child when that is text.
bool elementText(const TiXmlElement* e, std::string* out) {
  if (!e) return false;
  const TiXmlNode* first = e->FirstChild();
  if (!first || !first->ToText()) return false;
  *out = first->Value();
  return !out->empty();
}

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
  TiXmlDocument doc(replyPath.c_str());
  if (!doc.LoadFile()) return false;
  const TiXmlElement* reply = doc.FirstChildElement("upload");
  if (!reply || reply->FirstChildElement("error")) return false;
  std::string thumb, image;
  if (!elementText(reply->FirstChildElement("thumburl"), &thumb)) return false;
  if (!elementText(reply->FirstChildElement("imageurl"), &image)) return false;
  const LinkCodes codes = buildLinkCodes(thumb, image);
  appendTo(htmlPath, codes.html);
  appendTo(bbcodePath, codes.bbcode);
  if (written) *written = codes;
  return true;
}

}  // namespace upload
