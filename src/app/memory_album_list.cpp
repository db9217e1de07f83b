#include "app/memory_album_list.h"

namespace app {

void MemoryAlbumList::clear() {
  items_.clear();
  selected_ = -1;
}

void MemoryAlbumList::addAlbum(const std::string& text, std::unique_ptr<Album> album) {
  items_.emplace_back(text, std::move(album));
}

int MemoryAlbumList::count() const { return int(items_.size()); }

std::string MemoryAlbumList::itemText(int index) const {
  return index >= 0 && index < count() ? items_[size_t(index)].first : std::string();
}

const Album* MemoryAlbumList::album(int index) const {
  return index >= 0 && index < count() ? items_[size_t(index)].second.get() : nullptr;
}

int MemoryAlbumList::findKey(const std::string& key) const {
  for (int i = 0; i < count(); ++i)
    if (items_[size_t(i)].first == key) return i;
  return -1;
}

}  // namespace app
