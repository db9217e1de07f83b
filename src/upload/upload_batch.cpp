#include "upload/upload_batch.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "app/app_state.h"
#include "app/data_files.h"
#include "app/proxy.h"
#include "app/web_address.h"
#include "component/http/http_upload.h"
#include "component/http/http_upload_impl.h"
#include "component/net/progress_monitor.h"
#include "platform/files.h"
#include "platform/proxy.h"
#include "service/upload_server.h"
#include "upload/failure_reason.h"
#include "upload/link_code_cache.h"

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

// Uploads one file and makes its codes; fills `outcome` and answers whether the
// file succeeded. A failed file gets its reason, which also replaces
// data/lasterror.xml, so the batch's last failure can be sent to support.
// `pathInUtf8`: the form of outcome.path (see DroppedFiles::pathsInUtf8).
bool uploadOne(app::AppState& state, const app::WebAddress& target, const std::string& albumKey, bool pathInUtf8,
               component::ProgressCallback* callback, FileOutcome& outcome) {
  component::HttpUpload upload(*state.env);
  upload.setHostname(target.host.c_str());
  upload.setPath(target.path.c_str());
  upload.setPort(target.port);
  upload.setSecure(target.secure);
  upload.setCaFile(state.service.caFile.c_str());
  const std::optional<app::ProxyServer> proxy =
      app::proxyFor(state.service.proxy, target.secure, target.host, uint16_t(target.port));
  if (proxy) upload.setProxy(proxy->host.c_str(), proxy->port, proxy->authorization().c_str());
  upload.setIdleLimitMs(state.uploadIdleLimitMs);
  upload.setUtf8(pathInUtf8);
  upload.addFileReference("image", outcome.path.c_str());
  upload.setUtf8(false);  // the form fields are ANSI text
  upload.addParam("user", state.login.username.c_str());
  upload.addParam("hashed_password", state.login.hashedPassword.c_str());
  upload.addParam("aid", albumKey.c_str());
  upload.addParam("type", "file");
  upload.addParam("thumbsize", std::to_string(state.thumbnailSize).c_str());
  const bool replied = upload.blockingUpload(callback);
  const int status = upload.statusCode();
  component::ByteData body;
  upload.getResponseBody(body);
  const bool success = status >= 200 && status <= 299;
  outcome.uploaded = replied && success;
  if (!outcome.uploaded) {
    std::string xml;
    upload.lastErrorText(outcome.trail);
    upload.lastErrorXml(xml);
    // A server may answer before it has read the whole file (a body too large
    // for it): then the run fails, but the status still says why.
    outcome.error = status != 0 && !success
                        ? statusReason(upload.statusLine(),
                                       std::string(reinterpret_cast<const char*>(body.getData()), body.getSize()))
                        : trailReason(xml);
    // A plain request's proxy asks for its sign-in in the reply itself.
    if (proxy && !target.secure && status == 407) {
      std::string statusLine, schemes;
      platform::replyStatus(upload.replyHeaderText(), &statusLine, &schemes);
      outcome.error = platform::proxyRefusalText(proxy->address(), target.host + ":" + std::to_string(target.port),
                                                 status, statusLine, schemes, !proxy->user.empty());
    }
    saveLastError(outcome.path, outcome.error, xml);
    return false;
  }
  body.appendChar(0);
  const char* text = reinterpret_cast<const char*>(body.getData());
  const std::string replyPath = app::dataPath(app::kUploadResponseFile);
  // The codes are read back from the file: a reply that is not written whole
  // must not let an earlier reply stand in for it.
  if (!platform::writeWholeFile(replyPath, text, std::strlen(text))) {
    outcome.error = "the reply could not be saved to " + replyPath + ": " +
                    excerpt(platform::osErrorText(platform::lastOsError()), 200);
  } else {
    outcome.linked = makeLinkCodes(replyPath, cacheFilePath(CodeKind::kHtml), cacheFilePath(CodeKind::kBbcode),
                                   &outcome.codes, &outcome.error, &outcome.cached);
  }
  if (!outcome.linked) saveLastError(outcome.path, outcome.error, "");
  return outcome.linked;
}

// The prompt: "Upload N image(s) to album\r\n" + name + "?".
std::string uploadPrompt(int count, const std::string& albumName) {
  return "Upload " + std::to_string(count) + (count == 1 ? " image " : " images ") + "to album\r\n" + albumName + "?";
}

// The part of a path after its last folder separator (the whole path without one).
std::string fileNameOf(const std::string& path) {
  size_t cut = path.find_last_of('/');
  const size_t native = path.find_last_of(platform::pathSeparator());
  if (native != std::string::npos && (cut == std::string::npos || native > cut)) cut = native;
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

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

  // The batch runs from here: a reason left by an earlier batch must not pass
  // for one of this batch.
  std::remove(lastErrorPath().c_str());
  std::unique_ptr<app::ProgressView> progress = desktop.showProgress(desktop.mainWindowRect());
  progress->setStatusText("Preparing Uploads");
  progress->setProgress(5);

  if (!service::lookUpUploadServer(state)) {
    desktop.messageBox(
        "The uploader failed to retrieve a valid upload URL for your upload.\r\n\r\n"
        "Your files were not transferred.  Try again later?",
        "Upload aborted", app::MessageButtons::kOk);
    result.end = BatchOutcome::End::kNoUploadAddress;
    return result;
  }
  // Whatever the service names goes into each request's first lines, so an
  // address that is not a plain web address sends nothing.
  app::WebAddress target;
  std::string problem;
  if (!app::parseWebAddress(state.uploadUrl, app::AddressUse::kUpload, &target, &problem)) {
    desktop.messageBox("The upload address named by Kestrova is not usable: " + problem + ".\r\n" +
                           excerpt(state.uploadUrl, 200) + "\r\n\r\nYour files were not transferred.  Try again later?",
                       "Upload aborted", app::MessageButtons::kOk);
    result.end = BatchOutcome::End::kBadUploadAddress;
    return result;
  }

  app::TransferObserver* observer = desktop.transferObserver();
  std::unique_ptr<ObserverCallback> callback;
  if (observer) callback = std::make_unique<ObserverCallback>(*observer);

  const bool utf8 = drop.pathsInUtf8();
  for (int i = 0; i < count; ++i) {
    FileOutcome outcome;
    outcome.path = drop.path(i);
    const std::string name = fileNameOf(outcome.path);
    const std::string status = "Uploading file: " + name;
    if (utf8) progress->setStatusTextUtf8(status);
    else progress->setStatusText(status);
    if (observer) observer->fileStarted(name);
    const bool ok = uploadOne(state, target, albumKey, utf8, callback.get(), outcome);
    result.files.push_back(outcome);
    if (!ok) desktop.messageBox("Upload Failed", "OOPS", app::MessageButtons::kOk);
    if (observer) observer->fileFinished(outcome.path, outcome.error);
    if (!ok && observer && observer->stopRequested()) {
      // The user stopped the batch: the interrupted file counts as failed and
      // nothing of it reached the cache.
      result.end = BatchOutcome::End::kStopped;
      break;
    }
    progress->setProgress(int(double(i + 1) / double(count) * 100.0));
  }
  return result;
}

}  // namespace upload
