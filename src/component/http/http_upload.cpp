#include "component/http/http_upload.h"

#include "component/base/data_buffer.h"
#include "component/http/http_upload_impl.h"

namespace component {

ByteData::ByteData() : bytes_(std::make_unique<DataBuffer>()) {}
ByteData::~ByteData() = default;

void ByteData::appendChar(unsigned char b) { bytes_->appendChar(b); }
const unsigned char* ByteData::getData() { return bytes_->getData(); }
uint32_t ByteData::getSize() const { return bytes_->getSize(); }

HttpUpload::HttpUpload(platform::Env& env, ChannelMaker channels)
    : impl_(std::make_unique<HttpUploadImpl>(env, std::move(channels))) {}
HttpUpload::~HttpUpload() = default;

void HttpUpload::setHostname(const char* host) { impl_->hostName().setText(host, utf8_); }
void HttpUpload::setPath(const char* path) { impl_->path().setText(path, utf8_); }
void HttpUpload::setPort(int port) { impl_->setPort(port); }
void HttpUpload::setSecure(bool on) { impl_->setSecureChannel(on); }
void HttpUpload::setCaFile(const char* caFile) { impl_->setCaFile(caFile ? caFile : ""); }
void HttpUpload::setProxy(const char* host, int port, const char* authorization) {
  impl_->setProxy(ProxyHop{host ? host : "", port, authorization ? authorization : ""});
}
void HttpUpload::setIdleLimitMs(uint32_t ms) { impl_->setIdleLimitMs(ms); }
void HttpUpload::setConnectTimeoutMs(uint32_t ms) { impl_->setConnectTimeoutMs(ms); }
void HttpUpload::setChunkSize(uint32_t bytes) { impl_->setChunkSize(bytes); }
void HttpUpload::setReplyLimits(const ReplyLimits& limits) { impl_->setReplyLimits(limits); }

void HttpUpload::addParam(const char* name, const char* value) {
  EncodedString n(impl_->codeSet()), v(impl_->codeSet());
  n.setText(name, utf8_);
  v.setText(value, utf8_);
  impl_->addParam(n, v);
}

void HttpUpload::addFileReference(const char* fieldName, const char* localPath) {
  EncodedString n(impl_->codeSet()), p(impl_->codeSet());
  n.setText(fieldName, utf8_);
  p.setText(localPath, utf8_);
  impl_->addFileReference(n, p);
}

bool HttpUpload::blockingUpload() { return impl_->blockingUpload(nullptr); }
bool HttpUpload::blockingUpload(ProgressCallback* callback) { return impl_->blockingUpload(callback); }

void HttpUpload::getResponseBody(ByteData& out) {
  DataBuffer& target = out.buffer();
  target.clear();
  target.appendBuffer(impl_->replyBody());
}

int HttpUpload::statusCode() const { return impl_->statusCode(); }
std::string HttpUpload::statusLine() const { return impl_->statusLine().getString(); }
std::string HttpUpload::replyHeaderText() { return impl_->replyHeaderText().getUtf8(); }

void HttpUpload::lastErrorText(std::string& out) {
  StringBuffer text;
  impl_->lastErrorText(text);
  out.assign(text.getString(), size_t(text.getSize()));
}

void HttpUpload::lastErrorXml(std::string& out) {
  StringBuffer text;
  impl_->lastErrorXml(text);
  out.assign(text.getString(), size_t(text.getSize()));
}

}  // namespace component
