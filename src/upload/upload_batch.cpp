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

// Sets `upload` up for the file at outcome.path (`pathInUtf8`: its form, see
// DroppedFiles::pathsInUtf8) and the batch's fields; answers the proxy it
// goes through.
std::optional<app::ProxyServer> prepareUpload(component::HttpUpload& upload, const app::AppState& state,
                                              const app::WebAddress& target, const std::string& albumKey,
                                              bool pathInUtf8, const std::string& path) {
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
  upload.addFileReference("image", path.c_str());
  upload.setUtf8(false);  // the form fields are ANSI text
  upload.addParam("user", state.login.username.c_str());
  upload.addParam("hashed_password", state.login.hashedPassword.c_str());
  upload.addParam("aid", albumKey.c_str());
  upload.addParam("type", "file");
  upload.addParam("thumbsize", std::to_string(state.thumbnailSize).c_str());
  return proxy;
}

bool isSuccess(int status) { return status >= 200 && status <= 299; }

// Why a file whose upload brought back no 2xx reply failed, from its reply
// `body` and its XML trail.
std::string failureReason(component::HttpUpload& upload, component::ByteData& body, const std::string& trailXml,
                          const std::optional<app::ProxyServer>& proxy, const app::WebAddress& target) {
  const int status = upload.statusCode();
  // A plain request's proxy asks for its sign-in in the reply itself.
  if (proxy && !target.secure && status == 407) {
    std::string statusLine, schemes;
    platform::replyStatus(upload.replyHeaderText(), &statusLine, &schemes);
    return platform::proxyRefusalText(proxy->address(), target.host + ":" + std::to_string(target.port), status,
                                      statusLine, schemes, !proxy->user.empty());
  }
  // A server may answer before it has read the whole file (a body too large
  // for it): then the run fails, but the status still says why.
  if (status != 0 && !isSuccess(status)) {
    return statusReason(upload.statusLine(),
                        std::string(reinterpret_cast<const char*>(body.getData()), body.getSize()));
  }
  return trailReason(trailXml);
}

// Makes the codes of a file whose reply came back in `body`; false, with the
// reason in outcome.error, when it yields none.
bool linkReply(component::ByteData& body, FileOutcome& outcome) {
  // The reply is the text up to its first zero byte, as the upload has always
  // handed it over.
  body.appendChar(0);
  const char* text = reinterpret_cast<const char*>(body.getData());
  const std::string replyPath = app::dataPath(app::kUploadResponseFile);
  // The codes are read back from the file: a reply that is not written whole
  // must not let an earlier reply stand in for it.
  if (!platform::writeWholeFile(replyPath, text, std::strlen(text))) {
    outcome.error = "the reply could not be saved to " + replyPath + ": " +
                    excerpt(platform::osErrorText(platform::lastOsError()), 200);
    return false;
  }
  outcome.linked = makeLinkCodes(replyPath, cacheFilePath(CodeKind::kHtml), cacheFilePath(CodeKind::kBbcode),
                                 &outcome.codes, &outcome.error, &outcome.cached);
  return outcome.linked;
}

// Uploads one file and makes its codes; fills `outcome` and answers whether the
// file succeeded. A failed file gets its reason, which also replaces
// data/lasterror.xml, so the batch's last failure can be sent to support.
bool uploadOne(app::AppState& state, const app::WebAddress& target, const std::string& albumKey, bool pathInUtf8,
               component::ProgressCallback* callback, FileOutcome& outcome) {
  component::HttpUpload upload(*state.env);
  const std::optional<app::ProxyServer> proxy =
      prepareUpload(upload, state, target, albumKey, pathInUtf8, outcome.path);
  const bool replied = upload.blockingUpload(callback);
  component::ByteData body;
  upload.getResponseBody(body);
  outcome.uploaded = replied && isSuccess(upload.statusCode());
  if (!outcome.uploaded) {
    std::string xml;
    upload.lastErrorText(outcome.trail);
    upload.lastErrorXml(xml);
    outcome.error = failureReason(upload, body, xml, proxy, target);
    saveLastError(outcome.path, outcome.error, xml);
    return false;
  }
  if (!linkReply(body, outcome)) saveLastError(outcome.path, outcome.error, "");
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

using End = BatchOutcome::End;

// What the checks found of a drop: the album's key and how many files it holds.
struct Drop {
  std::string albumKey;
  int count = 0;
};

// Whether the batch may run: somebody is signed in, the files fell on an
// album, and the user agrees. kDone with *found when it may; otherwise how the
// batch ends, after saying so where there is something to say.
End checkDrop(app::AppState& state, DroppedFiles& drop, Drop* found) {
  app::Desktop& desktop = *state.desktop;
  if (!state.signedIn) {
    desktop.messageBox("You aren't logged in yet!\r\n\r\nLog in first before uploading.", "Login Error",
                       app::MessageButtons::kOk);
    return End::kNotSignedIn;
  }
  app::AlbumListView& list = state.albumList();
  const int index = drop.albumIndex(list);
  const app::Album* album = list.album(index);
  if (index < 0 || index >= list.count() || !album) {
    // Below the last album there is nothing to upload into: say so, send nothing.
    desktop.messageBox("The files were not dropped on an album.\r\n\r\nDrop them on one of the albums in the list.",
                       "Upload aborted", app::MessageButtons::kOk);
    return End::kNoAlbum;
  }
  found->albumKey = list.itemText(index);
  found->count = drop.count();
  if (state.promptBeforeUpload &&
      desktop.messageBox(uploadPrompt(found->count, album->name), "Are you sure?", app::MessageButtons::kYesNo) !=
          app::MessageAnswer::kYes) {
    return End::kDeclined;
  }
  return End::kDone;
}

// Where the batch's files go: the address the service names, read for the
// request lines. kDone with *target; otherwise how the batch ends, after the
// message.
End findUploadAddress(app::AppState& state, app::WebAddress* target) {
  // The two blanks after "transferred." are the message's own.
  const std::string notTransferred = "Your files were not transferred.  Try again later?";
  if (!service::lookUpUploadServer(state)) {
    state.desktop->messageBox(
        "The uploader failed to retrieve a valid upload URL for your upload.\r\n\r\n" + notTransferred,
        "Upload aborted", app::MessageButtons::kOk);
    return End::kNoUploadAddress;
  }
  // Whatever the service names goes into each request's first lines, so an
  // address that is not a plain web address sends nothing.
  std::string why;
  if (!app::parseWebAddress(state.uploadUrl, app::AddressUse::kUpload, target, &why)) {
    state.desktop->messageBox("The upload address named by Kestrova is not usable: " + why + ".\r\n" +
                                  excerpt(state.uploadUrl, 200) + "\r\n\r\n" + notTransferred,
                              "Upload aborted", app::MessageButtons::kOk);
    return End::kBadUploadAddress;
  }
  return End::kDone;
}

// Uploads the dropped files in turn, each as its own request to `target`,
// into *files; kStopped when the user stopped the batch, else kDone.
End uploadEach(app::AppState& state, DroppedFiles& drop, const Drop& found, const app::WebAddress& target,
               app::ProgressView& progress, std::vector<FileOutcome>* files) {
  app::Desktop& desktop = *state.desktop;
  app::TransferObserver* observer = desktop.transferObserver();
  std::unique_ptr<ObserverCallback> callback;
  if (observer) callback = std::make_unique<ObserverCallback>(*observer);
  const bool utf8 = drop.pathsInUtf8();
  for (int i = 0; i < found.count; ++i) {
    FileOutcome outcome;
    outcome.path = drop.path(i);
    const std::string name = fileNameOf(outcome.path);
    const std::string status = "Uploading file: " + name;
    if (utf8) progress.setStatusTextUtf8(status);
    else progress.setStatusText(status);
    if (observer) observer->fileStarted(name);
    const bool ok = uploadOne(state, target, found.albumKey, utf8, callback.get(), outcome);
    files->push_back(outcome);
    if (!ok) desktop.messageBox("Upload Failed", "OOPS", app::MessageButtons::kOk);
    if (observer) observer->fileFinished(outcome.path, outcome.error);
    // The user stopped the batch: the interrupted file counts as failed and
    // nothing of it reached the cache.
    if (!ok && observer && observer->stopRequested()) return End::kStopped;
    // Truncated toward zero in floating point: three files show 33, 66 and 100.
    progress.setProgress(int(double(i + 1) / double(found.count) * 100.0));
  }
  return End::kDone;
}

}  // namespace

BatchOutcome uploadDroppedFiles(app::AppState& state, DroppedFiles& drop) {
  struct Release {
    DroppedFiles& drop;
    ~Release() { drop.finish(); }
  } release{drop};
  BatchOutcome result;
  Drop found;
  result.end = checkDrop(state, drop, &found);
  if (result.end != End::kDone) return result;
  // The batch runs from here: a reason left by an earlier batch must not pass
  // for one of this batch.
  std::remove(lastErrorPath().c_str());
  app::Desktop& desktop = *state.desktop;
  std::unique_ptr<app::ProgressView> progress = desktop.showProgress(desktop.mainWindowRect());
  progress->setStatusText("Preparing Uploads");
  progress->setProgress(5);
  app::WebAddress target;
  result.end = findUploadAddress(state, &target);
  if (result.end == End::kDone) result.end = uploadEach(state, drop, found, target, *progress, &result.files);
  return result;
}

}  // namespace upload
