#pragma once
// An album list held in memory: the console's list, and the base of the tests'.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop.h"

namespace app {

class MemoryAlbumList : public AlbumListView {
 public:
  explicit MemoryAlbumList(const Rect& screenRect) : rect_(screenRect) {}

  void clear() override;
  void addAlbum(const std::string& text, std::unique_ptr<Album> album) override;
  int count() const override;
  std::string itemText(int index) const override;
  const Album* album(int index) const override;
  Rect screenRect() const override { return rect_; }
  int selectedIndex() const override { return selected_; }

  void select(int index) { selected_ = index; }
  // The index of the first item whose key text is `key`, or -1.
  int findKey(const std::string& key) const;

 private:
  std::vector<std::pair<std::string, std::unique_ptr<Album>>> items_;
  Rect rect_;
  int selected_ = -1;
};

}  // namespace app
