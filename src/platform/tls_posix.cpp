// The TLS engine of POSIX systems: OpenSSL, working on memory buffers that the
// stream fills from and empties to the socket.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "platform/sockets.h"
#include "platform/tls_engine.h"

namespace platform {
namespace tls_detail {
namespace {

// OpenSSL's own words for its newest error, and the queue emptied for the next call.
std::string libraryError() {
  const unsigned long e = ERR_peek_last_error();
  ERR_clear_error();
  const char* reason = e ? ERR_reason_error_string(e) : nullptr;
  return reason ? reason : "";
}

TlsFailure verifyFailure(long result) {
  switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID: return TlsFailure::kExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return TlsFailure::kWrongHost;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED: return TlsFailure::kUntrusted;
    default: return TlsFailure::kBadCertificate;
  }
}

class OpenSslEngine : public TlsEngine {
 public:
  OpenSslEngine() : ctx_(SSL_CTX_new(TLS_client_method())) {}
  ~OpenSslEngine() override {
    SSL_free(ssl_);  // and its two memory BIOs
    SSL_CTX_free(ctx_);
  }

  bool setUp(const std::string& host, const std::vector<std::string>& roots) override {
    if (!ctx_ || !SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION)) return setUpFailed();
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
    if (roots.empty() && !SSL_CTX_set_default_verify_paths(ctx_)) return setUpFailed();
    for (const std::string& der : roots) {
      const auto* p = reinterpret_cast<const unsigned char*>(der.data());
      X509* cert = d2i_X509(nullptr, &p, long(der.size()));
      const bool added = cert && X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx_), cert);
      X509_free(cert);
      if (!added) {
        failed(TlsFailure::kCaFile, "a certificate in it is damaged: " + libraryError());
        return false;
      }
    }
    ssl_ = SSL_new(ctx_);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl_ || !in || !out) {
      BIO_free(in);
      BIO_free(out);
      return setUpFailed();
    }
    // An empty input means "more to come": the stream itself tells the end.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl_, in, out);
    in_ = in;
    out_ = out;
    SSL_set_connect_state(ssl_);
    uint32_t address = 0;
    const bool isAddress = parseDottedIPv4(host, &address);
    // The name goes to the server so that it picks the right certificate; the
    // check covers names and IP addresses alike.
    if ((!isAddress && !SSL_set_tlsext_host_name(ssl_, host.c_str())) || !SSL_set1_host(ssl_, host.c_str())) {
      return setUpFailed();
    }
    return true;
  }

  Step handshake(char* in, size_t size, size_t* used, std::string* out) override {
    feed(in, size);
    const int r = SSL_do_handshake(ssl_);
    drain(out);
    if (r != 1) {
      *used = size;
      return stalledOrFailed(r);
    }
    // Records that came with the end of the handshake are still in the memory
    // BIO: they go back to the stream, which hands them to decrypt() (left here,
    // they would wait unread until the server sent more).
    *used = size - std::min(size, size_t(BIO_ctrl_pending(in_)));
    (void)BIO_reset(in_);
    return Step::kDone;
  }

  Step decrypt(char* in, size_t size, std::string* plain, std::string* out) override {
    feed(in, size);
    char buffer[kRecordBytes];
    int r;
    while ((r = SSL_read(ssl_, buffer, int(sizeof buffer))) > 0) plain->append(buffer, size_t(r));
    drain(out);  // answers to the server's key updates
    return stalledOrFailed(r);
  }

  bool encrypt(const char* data, size_t size, std::string* out) override {
    const int r = SSL_write(ssl_, data, int(size));
    drain(out);
    if (r == int(size)) return true;
    failed(TlsFailure::kProtocol, libraryError());
    return false;
  }

  void closeNotify(std::string* out) override {
    SSL_shutdown(ssl_);
    drain(out);
  }

 private:
  bool setUpFailed() {
    failed(TlsFailure::kProtocol, "OpenSSL cannot be set up: " + libraryError());
    return false;
  }

  // A memory BIO takes everything written to it.
  void feed(const char* in, size_t size) {
    if (size) BIO_write(in_, in, int(size));
  }

  void drain(std::string* out) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(out_, &data);
    if (size > 0) out->append(data, size_t(size));
    (void)BIO_reset(out_);
  }

  Step stalledOrFailed(int result) {
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ: return Step::kMore;
      case SSL_ERROR_ZERO_RETURN: return Step::kClosed;
      default: break;
    }
    const long verify = SSL_get_verify_result(ssl_);
    if (verify != X509_V_OK) return failed(verifyFailure(verify), X509_verify_cert_error_string(verify));
    return failed(TlsFailure::kProtocol, libraryError());
  }

  SSL_CTX* ctx_;
  SSL* ssl_ = nullptr;
  BIO* in_ = nullptr;
  BIO* out_ = nullptr;
};

}  // namespace

std::unique_ptr<TlsEngine> newTlsEngine() { return std::make_unique<OpenSslEngine>(); }

}  // namespace tls_detail
}  // namespace platform
