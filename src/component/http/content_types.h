#pragma once
// The MIME type announced for an uploaded file, chosen by its extension.
#include <cstddef>

namespace component {

// The type of the first table row whose extension equals `extension` without
// regard to letter case, or "application/octet-stream". Never null or empty.
const char* contentTypeForExtension(const char* extension);

// The table itself, for callers that list it.
struct ContentTypeRow {
  const char* extension;
  const char* type;
};
const ContentTypeRow* contentTypeTable(size_t* rows);

}  // namespace component
