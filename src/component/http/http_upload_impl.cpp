#include "component/http/http_upload_impl.h"

#include "component/net/progress_monitor.h"

namespace component {
namespace {

// The maker's address inside the user agent.
constexpr const char* kUserAgent = "QuillonUpload/2.0 (https://flingpost.kestrova.com)";

std::unique_ptr<StringBuffer> storedText(EncodedString& text) {
  const char* utf8 = text.getUtf8();
  if (!utf8 || !*utf8) return nullptr;
  return std::make_unique<StringBuffer>(utf8);
}

}  // namespace

FormField::FormField(EncodedString& name, EncodedString& value) : name_(storedText(name)), value_(storedText(value)) {}

HttpUploadImpl::HttpUploadImpl(platform::Env& env, ChannelMaker channels)
    : env_(env),
      channels_(std::move(channels)),
      userAgent_(env.codeSet()),
      hostName_(env.codeSet()),
      path_(env.codeSet()),
      replyHeaderText_(env.codeSet()) {
  userAgent_.appendAnsi(kUserAgent);
}

HttpUploadImpl::~HttpUploadImpl() = default;

void HttpUploadImpl::addParam(EncodedString& name, EncodedString& value) {
  formFields_.push_back(std::make_unique<FormField>(name, value));
}

void HttpUploadImpl::addFileReference(EncodedString& fieldName, EncodedString& localPath) {
  files_.push_back(std::make_unique<FileEntry>(fieldName, localPath));
}

void HttpUploadImpl::releaseConnection() {
  connection_.reset();  // closes the socket
  byteSink_ = nullptr;
  callback_ = nullptr;
}

bool HttpUploadImpl::blockingUpload(ProgressCallback* callback) {
  callback_ = callback;
  log_.clearLog();
  LogContext context(log_, "BlockingUpload");

  if (hostName_.charCount() == 0) {
    log_.logError("Hostname is empty");
    callback_ = nullptr;
    return false;
  }

  connection_ = std::make_unique<SocketConnection>(env_, channels_);
  connection_->setHeartbeatMs(heartbeatMs_);
  connection_->setReceiveIdleLimitMs(idleLimitMs_);
  connection_->setSendIdleLimitMs(idleLimitMs_);
  connection_->setCaFile(caFile_);
  connection_->setProxy(proxy_);
  byteSink_ = connection_.get();

  if (!connection_->Connect(hostName_, port_, secureChannel_, int(connectTimeoutMs_), callback_)) {
    if (callback_ && callback_->wasAborted()) log_.logError("Connection attempt aborted by application");
    // A proxy that failed, or a refused certificate, is what the user must
    // read first, not the connect.
    for (const std::string& failure : {connection_->proxyFailureText(), connection_->secureFailureText()}) {
      if (!failure.empty()) log_.logError(failure.c_str());
    }
    StringBuffer socketLog;
    connection_->lastErrorText(socketLog);
    releaseConnection();
    log_.logError("Failed to connect to remote host:port");
    log_.logData("hostname", hostName_.getUtf8());
    log_.logDataLong("port", port_);
    log_.logDataLong("timeoutMs", int32_t(connectTimeoutMs_));
    log_.logData("socketLog", socketLog.getString());
    return false;
  }

  const bool ok = sendRequest();
  releaseConnection();
  return ok;
}

}  // namespace component
