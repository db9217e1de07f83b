#pragma once
// Small readers over TinyXML shared by the documents of the data folder.
#include <cstddef>
#include <string>

class TiXmlDocument;
class TiXmlNode;
class TiXmlElement;

namespace service {

// No document of the service comes near these; anything beyond is refused
// before the parser sees it (its recursion would overflow the stack).
constexpr size_t kMaxXmlFileBytes = size_t(8) << 20;
constexpr int kMaxXmlDepth = 256;

// Loads the file `path` into `document` the way TinyXML's own LoadFile does
// (line ends normalised, the default encoding), but refuses a path that is not
// a regular file, a file over kMaxXmlFileBytes and one whose elements nest
// deeper than kMaxXmlDepth. False when it does not load; *why (when given)
// then says what is wrong, in words for the user.
bool loadXmlFile(const std::string& path, TiXmlDocument* document, std::string* why = nullptr);

// Parses `text` into `document` whatever its bytes: nesting deeper than
// kMaxXmlDepth is refused, the text ends at its first NUL byte, and the parser
// never reads past the text (see the .cpp). False when it does not parse;
// *why (when given) then says what is wrong, in words for the user.
bool parseXmlText(const std::string& text, TiXmlDocument* document, std::string* why = nullptr);

// True when no element of `text` lies more than `maxDepth` levels deep. Errs
// towards counting too deep on malformed text, never too shallow.
bool nestingWithin(const std::string& text, int maxDepth);

// The first child element of `parent` named `name`; nullptr when there is none
// (also for a null parent).
const TiXmlElement* firstChild(const TiXmlNode* parent, const char* name);

// The text of an element: its first child node when that is a text node (entities
// decoded). False when the element has no such text.
bool elementText(const TiXmlElement* element, std::string* text);

}  // namespace service
