#pragma once
// Small readers over TinyXML shared by the service documents.
#include <string>

class TiXmlNode;
class TiXmlElement;

namespace service {

// The first child element of `parent` named `name`; nullptr when there is none
// (also for a null parent).
const TiXmlElement* firstChild(const TiXmlNode* parent, const char* name);

// The text of an element: its first child node when that is a text node (entities
// decoded). False when the element has no such text.
bool elementText(const TiXmlElement* element, std::string* text);

}  // namespace service
