#include "service/xml_reading.h"

#include <tinyxml.h>

#include <cstring>

#include "platform/files.h"

namespace service {

bool nestingWithin(const std::string& text, int maxDepth) {
  const size_t n = text.size();
  size_t i = 0;
  int depth = 0;
  auto skipPast = [&](const char* end) {
    const size_t at = text.find(end, i);
    i = at == std::string::npos ? n : at + std::strlen(end);
  };
  while (i < n) {
    const size_t open = text.find('<', i);
    if (open == std::string::npos) break;
    i = open + 1;
    if (text.compare(open, 4, "<!--") == 0) {
      i = open + 4;
      skipPast("-->");
    } else if (text.compare(open, 9, "<![CDATA[") == 0) {
      i = open + 9;
      skipPast("]]>");
    } else if (i < n && (text[i] == '?' || text[i] == '!' || text[i] == '/')) {
      // Declarations and unknown markup end at the first ">", as the parser reads them.
      const bool endTag = text[i] == '/';
      skipPast(">");
      if (endTag && depth > 0) --depth;
    } else {
      // A start tag, to its ">" outside quoted attribute values.
      char quote = 0;
      bool selfClosing = false;
      for (; i < n; ++i) {
        const char c = text[i];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          selfClosing = text[i - 1] == '/';
          ++i;
          break;
        }
      }
      if (!selfClosing && ++depth > maxDepth) return false;
    }
  }
  return true;
}

bool parseXmlText(const std::string& text, TiXmlDocument* document, std::string* why) {
  document->Clear();
  if (!nestingWithin(text, kMaxXmlDepth)) {
    if (why) *why = "its elements nest deeper than " + std::to_string(kMaxXmlDepth) + " levels";
    return false;
  }
  // In UTF-8 the parser steps over a whole multi-byte sequence as its lead byte
  // announces it (up to 4 bytes) without looking for the end of the text, so a
  // lead byte cut off at the end, or before a NUL, would take it past the
  // buffer. Zero bytes behind the text, as many as the longest step, make every
  // such step land on a zero, where the parser stops. The text itself stays as
  // it is: cleaning cut sequences would change what documents in other
  // encodings read as.
  constexpr size_t kLongestStep = 4;
  std::string padded;
  padded.reserve(text.size() + kLongestStep);
  padded.assign(text, 0, text.find('\0'));
  padded.append(kLongestStep, '\0');
  document->Parse(padded.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  if (!document->Error()) return true;
  if (why) *why = std::string("it is not well-formed XML: ") + document->ErrorDesc();
  return false;
}

bool loadXmlFile(const std::string& path, TiXmlDocument* document, std::string* why) {
  std::string text;
  bool tooLarge = false;
  document->Clear();
  if (!platform::readWholeFile(path, kMaxXmlFileBytes, &text, &tooLarge)) {
    if (why) {
      *why = tooLarge ? "it is larger than " + std::to_string(kMaxXmlFileBytes >> 20) + " MiB"
                      : "it cannot be read: " + platform::osErrorText(platform::lastOsError());
    }
    return false;
  }
  // As the library's own file loading: CR LF and a lone CR become LF.
  std::string normal;
  normal.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      normal += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      normal += text[i];
    }
  }
  document->SetValue(path);
  return parseXmlText(normal, document, why);
}

const TiXmlElement* firstChild(const TiXmlNode* parent, const char* name) {
  return parent ? parent->FirstChildElement(name) : nullptr;
}

bool elementText(const TiXmlElement* element, std::string* text) {
  const char* value = element ? element->GetText() : nullptr;
  if (!value) return false;
  *text = value;
  return true;
}

}  // namespace service
