#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "support/dev_service.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"
#include "support/tls_front.h"

namespace testsupport {
namespace {

constexpr long kDay = 24 * 3600;
constexpr uint32_t kSliceMs = 50;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

Key newKey() { return Key(EVP_EC_gen("P-256"), EVP_PKEY_free); }

// A certificate named `name` for `key`, valid from `fromDays` to `toDays` from
// now: a CA signing itself when `issuer` is null, else a server's certificate
// for `altNames` signed by `issuer`.
Cert makeCert(const char* name, EVP_PKEY* key, long fromDays, long toDays, X509* issuer = nullptr,
              EVP_PKEY* issuerKey = nullptr, const char* altNames = nullptr) {
  Cert cert(X509_new(), X509_free);
  X509* c = cert.get();
  X509_set_version(c, 2);
  static long serial = 0;
  ASN1_INTEGER_set(X509_get_serialNumber(c), ++serial);
  X509_gmtime_adj(X509_getm_notBefore(c), fromDays * kDay);
  X509_gmtime_adj(X509_getm_notAfter(c), toDays * kDay);
  X509_set_pubkey(c, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name),
                             -1, -1, 0);
  X509_set_issuer_name(c, X509_get_subject_name(issuer ? issuer : c));
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, nullptr, c, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, issuer ? NID_subject_alt_name : NID_basic_constraints,
                                            issuer ? altNames : "critical,CA:TRUE");
  X509_add_ext(c, ext, -1);
  X509_EXTENSION_free(ext);
  X509_sign(c, issuerKey ? issuerKey : key, EVP_sha256());
  return cert;
}

void setTimeout(int fd, int option, long seconds) {
  timeval tv{seconds, 0};
  setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

struct TlsFront::Servers {
  TempDir dir;
  std::atomic<bool> stopping{false};
  std::mutex lock;  // for the record and the stand-in
  std::unique_ptr<DevService> service;
  uint16_t servicePort = 0;
  SSL_CTX* contexts[kKinds] = {};
  platform::SocketHandle listeners[kKinds] = {};
  std::vector<std::thread> threads;

  ~Servers() {
    stopping = true;
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < kKinds; ++k) {
      SSL_CTX_free(contexts[k]);
      platform::closeSocketHandle(listeners[k]);
    }
  }

  void serve(Kind kind) {
    // A write to a client that has gone must fail, not end the test program:
    // OpenSSL writes with write(), and SIGPIPE is held back on this thread only.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!stopping) {
      const platform::SocketHandle s = acceptConnection(listeners[kind], kSliceMs);
      if (s == platform::kInvalidSocket) continue;
      const int fd = int(s);
      setTimeout(fd, SO_RCVTIMEO, 5);
      setTimeout(fd, SO_SNDTIMEO, 5);
      SSL* ssl = SSL_new(contexts[kind]);
      SSL_set_fd(ssl, fd);
      size_t got = 0;
      if (SSL_accept(ssl) == 1) kind == kService ? relay(ssl, fd, got) : play(kind, ssl, fd, got);
      record(kind, got);
      SSL_free(ssl);
      platform::closeSocketHandle(s);
    }
  }

  void record(Kind kind, size_t bytes) {
    std::lock_guard<std::mutex> hold(lock);
    FILE* f = bytes ? std::fopen(dir.file("received.txt").c_str(), "a") : nullptr;
    if (f) std::fprintf(f, "%d %zu\n", int(kind), bytes), std::fclose(f);
  }

  // Plays the exchange; `got` is the length of its first line.
  void play(Kind kind, SSL* ssl, int fd, size_t& got) {
    std::string header;
    char c = 0;
    while (header.size() < 64 && SSL_read(ssl, &c, 1) == 1) {
      if (c == '\n') break;
      header += c;
    }
    got = header.size();
    unsigned long long up = 0, down = 0;
    if (std::sscanf(header.c_str(), "%llu %llu", &up, &down) != 2) return;
    std::vector<char> buffer(1 << 16);
    for (size_t at = 0; at < up;) {
      const int n = SSL_read(ssl, buffer.data(), int(std::min<size_t>(buffer.size(), up - at)));
      if (n <= 0) return;
      for (int i = 0; i < n; ++i) {
        if (buffer[size_t(i)] != pattern(at + size_t(i))) return;
      }
      at += size_t(n);
    }
    for (size_t at = 0; at < down;) {
      const size_t n = std::min<size_t>(buffer.size(), down - at);
      for (size_t i = 0; i < n; ++i) buffer[i] = pattern(at + i);
      if (SSL_write(ssl, buffer.data(), int(n)) <= 0) return;
      at += n;
    }
    setTimeout(fd, SO_RCVTIMEO, 3);
    SSL_read(ssl, &c, 1);  // the client's closing alert
    if (kind == kCutRecord) {
      // The header of a full application record, and two of its bytes.
      const unsigned char partial[] = {23, 3, 3, 0x40, 0x00, 'x', 'x'};
      ::send(fd, partial, sizeof partial, MSG_NOSIGNAL);
    } else if (kind != kNoAlert) {
      // The alert alone must end the stream: the connection stays open until
      // the client closes it.
      SSL_shutdown(ssl);
      ::recv(fd, &c, 1, 0);
    }
  }

  // The stand-in's port; started at the first call, as it takes a moment.
  uint16_t backend() {
    std::lock_guard<std::mutex> hold(lock);
    if (!service) {
      // Its server must stop when told to: not with the signals this thread holds back.
      sigset_t all, held;
      sigfillset(&all);
      pthread_sigmask(SIG_UNBLOCK, &all, &held);
      service = std::make_unique<DevService>(std::map<std::string, std::string>{
          {"DEVSERVICE_BASE_URL", "https://localhost:" + std::to_string(servicePort)}});
      pthread_sigmask(SIG_SETMASK, &held, nullptr);
    }
    const std::string& address = service->address();
    return address.empty() ? 0 : uint16_t(std::stoi(address.substr(address.find(':') + 1)));
  }

  // Passes the bytes both ways between the client and the stand-in until either
  // ends, or nothing moves for 10 s; `got` counts the client's.
  void relay(SSL* ssl, int fd, size_t& got) {
    uint32_t loopback = 0;
    platform::parseDottedIPv4("127.0.0.1", &loopback);
    const platform::SocketHandle back = platform::openStreamSocket();
    const uint16_t port = backend();
    std::vector<char> buffer(1 << 16);
    for (bool open = port && platform::connectIPv4(back, loopback, port) == 0; open;) {
      pollfd ready[2] = {{fd, POLLIN, 0}, {int(back), POLLIN, 0}};
      if (SSL_pending(ssl) == 0 && poll(ready, 2, 10000) <= 0) break;
      if (SSL_pending(ssl) > 0 || ready[0].revents) {
        const int n = SSL_read(ssl, buffer.data(), int(buffer.size()));
        open = n > 0 && ::send(int(back), buffer.data(), size_t(n), MSG_NOSIGNAL) == n;
        got += size_t(std::max(n, 0));
      } else {
        const ssize_t n = ::recv(int(back), buffer.data(), buffer.size(), 0);
        open = n > 0 && SSL_write(ssl, buffer.data(), int(n)) > 0;
        if (n == 0) SSL_shutdown(ssl);
      }
    }
    platform::closeSocketHandle(back);
  }
};

TlsFront::TlsFront() : servers_(std::make_unique<Servers>()) {
  ensureSocketsStarted();
  Key caKey = newKey(), foreignKey = newKey(), serverKey = newKey();
  Cert ca = makeCert("Flingpost Test CA", caKey.get(), -1, 30);
  Cert foreign = makeCert("Flingpost Foreign CA", foreignKey.get(), -1, 30);
  const char* local = "DNS:localhost,IP:127.0.0.1";
  // The kinds from kNoAlert on serve kGood's certificate.
  Cert leaves[kNoAlert] = {
      makeCert("localhost", serverKey.get(), -1, 30, ca.get(), caKey.get(), local),
      makeCert("localhost", serverKey.get(), -1, 30, foreign.get(), foreignKey.get(), local),
      makeCert("other.invalid", serverKey.get(), -1, 30, ca.get(), caKey.get(), "DNS:other.invalid"),
      makeCert("localhost", serverKey.get(), -3, -2, ca.get(), caKey.get(), local),
  };
  const std::string path = servers_->dir.file("ca.pem");
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f || !PEM_write_X509(f, ca.get())) {
    whyNot_ = "cannot write " + path;
    if (f) std::fclose(f);
    return;
  }
  std::fclose(f);
  for (int k = 0; k < kKinds; ++k) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    servers_->contexts[k] = ctx;
    if (!ctx || !SSL_CTX_use_certificate(ctx, leaves[k < kNoAlert ? k : kGood].get()) || !SSL_CTX_use_PrivateKey(ctx, serverKey.get())) {
      whyNot_ = "OpenSSL cannot serve the test certificates";
      return;
    }
    if (k == kOldVersion) {
      // Below the system's own floor too, so that only the client's refusal is left.
      SSL_CTX_set_security_level(ctx, 0);
      SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
      SSL_CTX_set_max_proto_version(ctx, TLS1_1_VERSION);
      SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0");
    }
    servers_->listeners[k] = listenLoopback(&ports_[k], 8);
  }
  servers_->servicePort = ports_[kService];
  for (int k = 0; k < kKinds; ++k) servers_->threads.emplace_back([this, k] { servers_->serve(Kind(k)); });
  caFile_ = path;
}

TlsFront::~TlsFront() = default;

std::string TlsFront::describe() const {
  std::string text = caFile_;
  for (uint16_t port : ports_) text += " " + std::to_string(port);
  return text;
}

}  // namespace testsupport
