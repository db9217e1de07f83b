#include "upload/failure_reason.h"

#include <tinyxml.h>

#include "app/data_files.h"
#include "platform/files.h"
#include "service/xml_reading.h"

namespace upload {
namespace {

// The component renders its trail itself; it is still parsed as every other
// document is, since replies feed it.
bool parseTrail(const std::string& trailXml, TiXmlDocument* trail) {
  return service::parseXmlText(trailXml, trail) && trail->RootElement();
}

// The first element named `name` below `node`, in document order.
const TiXmlElement* firstNamed(const TiXmlNode* node, const char* name) {
  for (const TiXmlElement* e = node->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (e->ValueStr() == name) return e;
    if (const TiXmlElement* inner = firstNamed(e, name)) return inner;
  }
  return nullptr;
}

void addTextElement(TiXmlElement* parent, const char* name, const std::string& text) {
  auto* element = new TiXmlElement(name);
  element->LinkEndChild(new TiXmlText(text));
  parent->LinkEndChild(element);
}

}  // namespace

std::string excerpt(const std::string& text, size_t maxBytes) {
  std::string out;
  bool cut = false;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else if (out.size() >= maxBytes) {
      cut = true;
      break;
    } else {
      out += ch;
    }
  }
  if (cut) {
    // Drops the last character whole when it may be a UTF-8 sequence cut short.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return cut ? out + "..." : out;
}

std::string statusReason(const std::string& statusLine, const std::string& body) {
  std::string reason = "the server answered \"" + excerpt(statusLine, 100) + "\"";
  const std::string start = excerpt(body, 200);
  if (!start.empty()) reason += ": " + start;
  return reason;
}

std::string trailReason(const std::string& trailXml) {
  TiXmlDocument trail;
  std::string text;
  // The first error names the step that failed; what follows it is detail.
  if (parseTrail(trailXml, &trail)) service::elementText(firstNamed(&trail, "error"), &text);
  const std::string shown = excerpt(text, 200);
  return "the upload did not go through" + (shown.empty() ? "" : ": " + shown);
}

std::string lastErrorPath() { return app::dataPath(app::kLastErrorFile); }

void saveLastError(const std::string& file, const std::string& reason, const std::string& trailXml) {
  TiXmlDocument doc;
  doc.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
  auto* root = new TiXmlElement("lasterror");
  doc.LinkEndChild(root);
  addTextElement(root, "file", file);
  addTextElement(root, "reason", reason);
  if (!trailXml.empty()) {
    // As elements where it parses, so that it reads as it does on its own.
    TiXmlDocument trail;
    auto* holder = new TiXmlElement("trail");
    root->LinkEndChild(holder);
    if (parseTrail(trailXml, &trail)) {
      holder->InsertEndChild(*trail.RootElement());
    } else {
      holder->LinkEndChild(new TiXmlText(trailXml));
    }
  }
  TiXmlPrinter printer;
  doc.Accept(&printer);
  platform::writeWholeFile(lastErrorPath(), printer.CStr(), printer.Size());
}

}  // namespace upload
