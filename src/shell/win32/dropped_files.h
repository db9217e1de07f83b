#pragma once
// A drop of files from the shell on the album list, read from its drop handle.
#include <windows.h>
#include <shellapi.h>

#include "upload/upload_batch.h"

namespace win32 {

class HdropFiles final : public upload::DroppedFiles {
 public:
  // Longest path taken from a drop, its terminating zero included; a longer
  // path arrives cut to 1023 characters.
  static constexpr UINT kPathBufferSize = 1024;

  // `list` is the list box the files were dropped on.
  HdropFiles(HDROP drop, HWND list) : drop_(drop), list_(list) {}
  // Releases the drop if nobody did.
  ~HdropFiles() override { finish(); }
  HdropFiles(const HdropFiles&) = delete;
  HdropFiles& operator=(const HdropFiles&) = delete;

  // The item under the drop point (auto-scrolling the list), or -1.
  int albumIndex(app::AlbumListView& list) override;
  int count() override;
  std::string path(int index) override;
  void finish() override;

 private:
  HDROP drop_;
  HWND list_;
};

}  // namespace win32
