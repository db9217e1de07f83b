#pragma once
// The upload batch: files dropped on an album are confirmed, the upload address
// is looked up once, and each file goes up as its own multipart POST; each reply
// becomes link codes in the cache.
#include <string>
#include <vector>

#include "upload/link_codes.h"

namespace app {
class AlbumListView;
class AppState;
}  // namespace app

namespace upload {

// A drop of files on the album list, as the desktop delivers it.
class DroppedFiles {
 public:
  virtual ~DroppedFiles() = default;
  // The index of the album list item under the drop point, or -1 for none.
  virtual int albumIndex(app::AlbumListView& list) = 0;
  virtual int count() = 0;
  // The full path of file `index` (0-based), in drop order, in the form below.
  virtual std::string path(int index) = 0;
  // True when the paths are UTF-8 (the Windows shell's drop: its names are
  // UTF-16, which the ANSI code page cannot always spell); false when they are
  // the bytes given, in the ANSI code set (a command line: on POSIX a name
  // need not be valid in any code set). The upload opens each file by its path
  // in that form, and the name goes out in UTF-8 either way.
  virtual bool pathsInUtf8() const { return false; }
  // Releases the drop; called exactly once at every end of the batch.
  virtual void finish() = 0;
};

// What became of one file. A file succeeded when `linked`; every other file
// failed and says why in `error` (also kept in data/lasterror.xml while it is
// the batch's last failure).
struct FileOutcome {
  std::string path;  // as the drop gave it
  bool uploaded = false;  // the request went out and a reply with a 2xx status came back
  bool linked = false;    // the reply named two http(s) addresses: codes were made
  bool cached = false;    // ... and both were added to the cache files whole
  LinkCodes codes;
  std::string trail;      // the upload's diagnostic trail (text form) when it was not `uploaded`
  std::string error;  // why the file failed, in words for the user; empty when it did not
};

struct BatchOutcome {
  enum class End { kNotSignedIn, kNoAlbum, kDeclined, kNoUploadAddress, kBadUploadAddress, kStopped, kDone };
  End end = End::kDone;
  std::vector<FileOutcome> files;  // the files that were tried, in drop order
};

BatchOutcome uploadDroppedFiles(app::AppState& state, DroppedFiles& drop);

}  // namespace upload
