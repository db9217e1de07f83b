#include "upload/upload_batch.h"

#include <fstream>
#include <memory>

#include "app/app_state.h"
#include "app/data_files.h"
#include "component/http/http_upload.h"
#include "component/net/progress_monitor.h"
#include "platform/files.h"
#include "service/upload_server.h"
#include "upload/link_code_cache.h"
#include "upload/upload_address.h"

namespace upload {
namespace {

// Follows an upload for the desktop, where it wants to (the console draws a bar
// and lets Ctrl-C stop the upload); the desktop's answer is the abort answer.
class ObserverCallback : public component::ProgressCallback {
 public:
  explicit ObserverCallback(app::TransferObserver& observer) : observer_(observer) {}
  void percentDone(int percent, bool& abort) override {
    observer_.percentDone(percent);
    abort = observer_.stopRequested();
  }
  void abortCheck(bool& abort) override { abort = observer_.stopRequested(); }
  void heartbeat(int, bool& abort) override { abort = observer_.stopRequested(); }
  bool wasAborted() override { return observer_.stopRequested(); }

 private:
  app::TransferObserver& observer_;
};

void writeTextFile(const std::string& path, const char* text) {
  std::ofstream f(path, std::ios::out | std::ios::trunc);
  if (f) f << text;
}

// Uploads one file; fills `outcome` and answers whether the upload went through.
bool uploadOne(app::AppState& state, const UploadTarget& target, const std::string& albumKey,
               component::ProgressCallback* callback, FileOutcome& outcome) {
  component::HttpUpload upload;
  upload.setHostname(target.host.c_str());
  upload.setPath(target.path.c_str());
  upload.setPort(target.port);
  upload.setIdleLimitMs(state.uploadIdleLimitMs);
  upload.addFileReference("image", outcome.path.c_str());
  upload.addParam("user", state.login.username.c_str());
  upload.addParam("hashed_password", state.login.hashedPassword.c_str());
  upload.addParam("aid", albumKey.c_str());
  upload.addParam("type", "file");
  upload.addParam("thumbsize", std::to_string(state.thumbnailSize).c_str());
  outcome.uploaded = upload.blockingUpload(callback);
  if (!outcome.uploaded) {
    // The reason stays with the user's data folder, so it can be sent to support.
    std::string xml;
    upload.lastErrorText(outcome.trail);
    upload.lastErrorXml(xml);
    platform::writeWholeFile(app::dataPath("lasterror.xml"), xml.data(), xml.size());
    return false;
  }
  component::ByteData body;
  upload.getResponseBody(body);
  body.appendChar(0);
  const std::string replyPath = app::dataPath("uploadresponse.xml");
  writeTextFile(replyPath, reinterpret_cast<const char*>(body.getData()));
  outcome.linked = makeLinkCodes(replyPath, cacheFilePath(CodeKind::kHtml), cacheFilePath(CodeKind::kBbcode),
                                 &outcome.codes);
  return true;
}

}  // namespace

std::string uploadPrompt(int count, const std::string& albumName) {
  return "Upload " + std::to_string(count) + (count == 1 ? " image " : " images ") + "to album\r\n" + albumName + "?";
}

std::string fileNameOf(const std::string& path) {
  size_t cut = path.find_last_of('/');
  const size_t native = path.find_last_of(platform::pathSeparator());
  if (native != std::string::npos && (cut == std::string::npos || native > cut)) cut = native;
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

BatchOutcome uploadDroppedFiles(app::AppState& state, DroppedFiles& drop) {
  app::Desktop& desktop = *state.desktop;
  BatchOutcome result;
  struct Release {
    DroppedFiles& drop;
    ~Release() { drop.finish(); }
  } release{drop};

  if (!state.signedIn) {
    desktop.messageBox("You aren't logged in yet!\r\n\r\nLog in first before uploading.", "Login Error",
                       app::MessageButtons::kOk);
    result.end = BatchOutcome::End::kNotSignedIn;
    return result;
  }

  app::AlbumListView& list = state.albumList();
  const int index = drop.albumIndex(list);
  const app::Album* album = list.album(index);
  if (index < 0 || index >= list.count() || !album) {
    // Below the last album there is nothing to upload into: say so, send nothing.
    desktop.messageBox("The files were not dropped on an album.\r\n\r\nDrop them on one of the albums in the list.",
                       "Upload aborted", app::MessageButtons::kOk);
    result.end = BatchOutcome::End::kNoAlbum;
    return result;
  }
  const std::string albumKey = list.itemText(index);
  const int count = drop.count();

  if (state.promptBeforeUpload &&
      desktop.messageBox(uploadPrompt(count, album->name), "Are you sure?", app::MessageButtons::kYesNo) !=
          app::MessageAnswer::kYes) {
    result.end = BatchOutcome::End::kDeclined;
    return result;
  }

  std::unique_ptr<app::ProgressView> progress = desktop.showProgress(desktop.mainWindowRect());
  progress->setStatusText("Preparing Uploads");
  progress->setProgress(5);

  UploadTarget target;
  if (!service::lookUpUploadServer(state)) {
    desktop.messageBox(
        "The uploader failed to retrieve a valid upload URL for your upload.\r\n\r\n"
        "Your files were not transferred.  Try again later?",
        "Upload aborted", app::MessageButtons::kOk);
    result.end = BatchOutcome::End::kNoUploadAddress;
    return result;
  }
  if (!splitUploadAddress(state.uploadUrl, &target)) {
    desktop.messageBox("The upload address named by Kestrova is not usable:\r\n" + state.uploadUrl +
                           "\r\n\r\nYour files were not transferred.  Try again later?",
                       "Upload aborted", app::MessageButtons::kOk);
    result.end = BatchOutcome::End::kBadUploadAddress;
    return result;
  }

  app::TransferObserver* observer = desktop.transferObserver();
  std::unique_ptr<ObserverCallback> callback;
  if (observer) callback = std::make_unique<ObserverCallback>(*observer);

  for (int i = 0; i < count; ++i) {
    FileOutcome outcome;
    outcome.path = drop.path(i);
    const std::string name = fileNameOf(outcome.path);
    progress->setStatusText("Uploading file: " + name);
    if (observer) observer->fileStarted(name);
    const bool ok = uploadOne(state, target, albumKey, callback.get(), outcome);
    result.files.push_back(outcome);
    if (!ok) {
      desktop.messageBox("Upload Failed", "OOPS", app::MessageButtons::kOk);
      if (observer && observer->stopRequested()) {
        // The user stopped the batch: the interrupted file counts as failed and
        // nothing of it reached the cache.
        result.end = BatchOutcome::End::kStopped;
        break;
      }
    }
    progress->setProgress(int(double(i + 1) / double(count) * 100.0));
  }
  return result;
}

}  // namespace upload
