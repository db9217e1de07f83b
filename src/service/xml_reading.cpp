#include "service/xml_reading.h"

#include <tinyxml.h>

namespace service {

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
