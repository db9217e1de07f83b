// The TLS engine of Windows: SChannel through SSPI, working on memory buffers
// that the stream fills from and empties to the socket. SChannel is asked not to
// judge the server's certificate: Wine's SChannel lets every certificate pass,
// so the chain and the host name are checked here, alike on every Windows.
// Each header needs the ones above it.
#define SECURITY_WIN32
#include <windows.h>

#include <wincrypt.h>

#include <schannel.h>
#include <security.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/charset.h"
#include "platform/files.h"
#include "platform/tls_engine.h"

namespace platform {
namespace tls_detail {
namespace {

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

// CERT_CHAIN_ENGINE_CONFIG as far as hExclusiveRoot and hExclusiveTrustedPeople
// (Windows 7): Wine refuses the longer newer form, which adds dwExclusiveFlags.
// Taken from the structure, so it holds for either pointer size (48 bytes on
// 32-bit, 80 on 64-bit).
constexpr DWORD kChainEngineConfigSize =
    offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveTrustedPeople) + sizeof(HCERTSTORE);

std::string statusText(SECURITY_STATUS status) {
  char code[32];
  std::snprintf(code, sizeof code, "status 0x%08lX", static_cast<unsigned long>(status));
  const std::string text = trimmed(osErrorText(uint32_t(status)));
  return text.empty() ? code : text + ", " + code;
}

class SchannelEngine : public TlsEngine {
 public:
  ~SchannelEngine() override {
    if (haveContext_) DeleteSecurityContext(&context_);
    if (haveCredentials_) FreeCredentialsHandle(&credentials_);
    if (roots_) CertCloseStore(roots_, 0);
  }

  bool setUp(const std::string& host, const std::vector<std::string>& roots) override {
    host_ = host;
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // TLS 1.2 alone: this form of the credentials cannot ask for 1.3, and Wine
    // has no 1.3 to test it with.
    cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    const SECURITY_STATUS status =
        AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                  nullptr, nullptr, &credentials_, nullptr);
    if (status != SEC_E_OK) {
      failed(TlsFailure::kProtocol, "SChannel cannot be set up: " + statusText(status));
      return false;
    }
    haveCredentials_ = true;
    if (roots.empty()) return true;
    roots_ = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    for (const std::string& der : roots) {
      if (!roots_ ||
          !CertAddEncodedCertificateToStore(roots_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                            DWORD(der.size()), CERT_STORE_ADD_ALWAYS, nullptr)) {
        failed(TlsFailure::kCaFile, "a certificate in it is damaged: " + trimmed(osErrorText(GetLastError())));
        return false;
      }
    }
    return true;
  }

  Step handshake(char* in, size_t size, size_t* used, std::string* out) override {
    SecBuffer inBuffers[2] = {{ULONG(size), SECBUFFER_TOKEN, in}, {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &token};
    DWORD attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextA(
        &credentials_, haveContext_ ? &context_ : nullptr, const_cast<char*>(host_.c_str()), kRequest, 0, 0,
        haveContext_ ? &inDesc : nullptr, 0, &context_, &outDesc, &attributes, nullptr);
    haveContext_ = haveContext_ || status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK;
    const size_t before = out->size();
    take(token, out);
    *used = size - (inBuffers[1].BufferType == SECBUFFER_EXTRA ? inBuffers[1].cbBuffer : 0);
    switch (status) {
      case SEC_E_OK: break;
      case SEC_I_CONTINUE_NEEDED: return Step::kMore;
      case SEC_E_INCOMPLETE_MESSAGE:  // a message that spans records still to come
        *used = 0;
        return Step::kMore;
      case SEC_I_INCOMPLETE_CREDENTIALS:
        return failed(TlsFailure::kProtocol, "the server asks for a client certificate");
      default: return failed(TlsFailure::kProtocol, statusText(status));
    }
    const SECURITY_STATUS sized = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (sized != SEC_E_OK) return failed(TlsFailure::kProtocol, statusText(sized));
    // A refused server gets nothing more, not even the end of the handshake.
    const Step step = checkCertificate();
    if (step == Step::kFailed) out->resize(before);
    return step;
  }

  Step decrypt(char* in, size_t size, std::string* plain, std::string*) override {
    for (size_t at = 0; at < size;) {
      // Wine answers the closing alert with SEC_E_OK and no data instead of
      // SEC_I_CONTEXT_EXPIRED; an alert record that yields nothing is the end.
      const bool alert = in[at] == 21;
      SecBuffer buffers[4] = {{ULONG(size - at), SECBUFFER_DATA, in + at},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
      if (status == SEC_I_CONTEXT_EXPIRED) return Step::kClosed;
      if (status == SEC_I_RENEGOTIATE) return failed(TlsFailure::kProtocol, "the server asked to renegotiate");
      if (status != SEC_E_OK) return failed(TlsFailure::kProtocol, statusText(status));
      size_t extra = 0;
      bool data = false;
      for (const SecBuffer& b : buffers) {
        if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
          plain->append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
          data = true;
        }
        if (b.BufferType == SECBUFFER_EXTRA) extra = b.cbBuffer;
      }
      if (alert && !data) return Step::kClosed;
      if (extra >= size - at) return failed(TlsFailure::kProtocol, "a record could not be decrypted");
      at = size - extra;
    }
    return Step::kMore;
  }

  bool encrypt(const char* data, size_t size, std::string* out) override {
    const size_t start = out->size();
    out->resize(start + sizes_.cbHeader + size + sizes_.cbTrailer);
    char* p = &(*out)[start];
    std::memcpy(p + sizes_.cbHeader, data, size);
    SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, p},
                            {ULONG(size), SECBUFFER_DATA, p + sizes_.cbHeader},
                            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, p + sizes_.cbHeader + size},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
    if (status != SEC_E_OK) {
      out->resize(start);
      failed(TlsFailure::kProtocol, statusText(status));
      return false;
    }
    // The trailer can come out shorter than its most.
    out->resize(start + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    return true;
  }

  void closeNotify(std::string* out) override {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    if (ApplyControlToken(&context_, &controlDesc) != SEC_E_OK) return;
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &token};
    DWORD attributes = 0;
    InitializeSecurityContextA(&credentials_, &context_, const_cast<char*>(host_.c_str()), kRequest, 0, 0, nullptr, 0,
                               nullptr, &outDesc, &attributes, nullptr);
    take(token, out);
  }

 private:
  static void take(SecBuffer& token, std::string* out) {
    if (!token.pvBuffer) return;
    out->append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    FreeContextBuffer(token.pvBuffer);
  }

  Step checkCertificate() {
    PCCERT_CONTEXT cert = nullptr;
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert) {
      return failed(TlsFailure::kBadCertificate, "the server sent none");
    }
    HCERTCHAINENGINE chainEngine = nullptr;  // the system's roots
    if (roots_) {
      CERT_CHAIN_ENGINE_CONFIG config{};
      config.cbSize = kChainEngineConfigSize;
      config.hExclusiveRoot = roots_;
      if (!CertCreateCertificateChainEngine(&config, &chainEngine)) {
        CertFreeCertificateContext(cert);
        return failed(TlsFailure::kCaFile, trimmed(osErrorText(GetLastError())));
      }
    }
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    const Step step = CertGetCertificateChain(chainEngine, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &chain)
                          ? judge(chain)
                          : failed(TlsFailure::kBadCertificate, trimmed(osErrorText(GetLastError())));
    if (chain) CertFreeCertificateChain(chain);
    if (chainEngine) CertFreeCertificateChainEngine(chainEngine);
    CertFreeCertificateContext(cert);
    return step;
  }

  Step judge(PCCERT_CHAIN_CONTEXT chain) {
    // The chain's own status first: Wine's policy check passes a chain that
    // never reaches a root.
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    char code[32];
    std::snprintf(code, sizeof code, "chain status 0x%lX", static_cast<unsigned long>(errors));
    if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
      return failed(TlsFailure::kUntrusted, code);
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return failed(TlsFailure::kExpired, code);
    if (errors) return failed(TlsFailure::kBadCertificate, code);
    std::u16string name = utf8ToUtf16(host_);
    HTTPSPolicyCallbackData https{};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.pwszServerName = reinterpret_cast<wchar_t*>(&name[0]);
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
      return failed(TlsFailure::kBadCertificate, trimmed(osErrorText(GetLastError())));
    }
    switch (DWORD(status.dwError)) {
      case 0: return Step::kDone;
      case DWORD(CERT_E_CN_NO_MATCH): return failed(TlsFailure::kWrongHost, statusText(status.dwError));
      case DWORD(CERT_E_EXPIRED): return failed(TlsFailure::kExpired, statusText(status.dwError));
      case DWORD(CERT_E_UNTRUSTEDROOT):
      case DWORD(CERT_E_UNTRUSTEDCA): return failed(TlsFailure::kUntrusted, statusText(status.dwError));
      default: return failed(TlsFailure::kBadCertificate, statusText(status.dwError));
    }
  }

  std::string host_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  HCERTSTORE roots_ = nullptr;
  SecPkgContext_StreamSizes sizes_{};
};

}  // namespace

std::unique_ptr<TlsEngine> newTlsEngine() { return std::make_unique<SchannelEngine>(); }

}  // namespace tls_detail
}  // namespace platform
