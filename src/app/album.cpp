#include "app/album.h"

#include <utility>

namespace app {

Album::Album(int32_t id, std::string name, std::string description)
    : id(id), name(std::move(name)), description(std::move(description)) {}

Album::~Album() = default;

}  // namespace app
