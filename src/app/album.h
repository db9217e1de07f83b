#pragma once
// One album of the signed-in user, as the account data lists it.
#include <cstdint>
#include <string>

namespace app {

// Immutable once built. The album list owns each Album from the moment the
// sign-in adds it until the list is cleared.
class Album {
 public:
  Album(int32_t id, std::string name, std::string description);
  virtual ~Album();

  const int32_t id;           // the service's album identifier; 0 is the private folder
  const std::string name;     // first line of the list entry; may be empty
  const std::string description;  // second line; may be empty
};

}  // namespace app
