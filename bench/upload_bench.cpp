// Uploads one file to host:port with HttpUpload and prints the seconds it took,
// the bytes per second of the file's data and the size of the reply body.
//
//   upload_bench [--proxy PROXY_HOST:PORT] [--cacert CA_FILE] HOST PORT FILE [CHUNK_SIZE [PATH]]
//
// CHUNK_SIZE 0: the default. With --cacert the upload goes over TLS, trusting
// the certificates of CA_FILE. With --proxy it goes through that HTTP proxy.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "component/base/file_helpers.h"
#include "component/http/http_upload.h"

int main(int argc, char** argv) {
  const char* caFile = nullptr;
  std::string proxy;
  while (argc > 2) {
    const std::string option = argv[1];
    if (option == "--cacert") {
      caFile = argv[2];
    } else if (option == "--proxy") {
      proxy = argv[2];
    } else {
      break;
    }
    argv[2] = argv[0];
    argc -= 2;
    argv += 2;
  }
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr, "usage: %s [--proxy PROXY_HOST:PORT] [--cacert CA_FILE] HOST PORT FILE [CHUNK_SIZE [PATH]]\n", argv[0]);
    return 2;
  }
  bool ok = false;
  const uint64_t size = component::getFileSize64(argv[3], nullptr, &ok);
  if (!ok) {
    std::fprintf(stderr, "cannot read %s\n", argv[3]);
    return 2;
  }
  component::HttpUpload upload;
  upload.setHostname(argv[1]);
  upload.setPort(std::atoi(argv[2]));
  upload.setSecure(caFile != nullptr);
  upload.setCaFile(caFile);
  if (!proxy.empty()) {
    upload.setProxy(proxy.substr(0, proxy.rfind(':')).c_str(), std::atoi(proxy.c_str() + proxy.rfind(':') + 1), "");
  }
  upload.setPath(argc == 6 ? argv[5] : "/upload");
  upload.addParam("user", "bench");
  upload.addFileReference("image", argv[3]);
  if (argc >= 5 && std::atol(argv[4]) > 0) upload.setChunkSize(uint32_t(std::atol(argv[4])));

  const auto start = std::chrono::steady_clock::now();
  const bool done = upload.blockingUpload();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!done || upload.statusCode() != 200) {
    std::string trail;
    upload.lastErrorText(trail);
    std::fprintf(stderr, "upload failed (status %d)\n%s", upload.statusCode(), trail.c_str());
    return 1;
  }
  component::ByteData reply;
  upload.getResponseBody(reply);
  std::printf("%.3f %.0f %u\n", seconds, double(size) / seconds, unsigned(reply.getSize()));
  return 0;
}
