#pragma once
// TcpSocket: one IPv4 stream socket of the component. It connects (with a
// time limit and one retry, or sliced so a progress monitor can abort), sends
// a whole buffer without blocking longer than its idle limit, and receives
// after waiting for data in heartbeat-sized slices. Every failure returns false
// and leaves its reason in the DiagnosticLog it was given.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "component/base/data_buffer.h"
#include "component/base/string_buffer.h"
#include "component/log/diagnostic_log.h"
#include "platform/env.h"
#include "platform/sockets.h"

namespace component {

class ProgressMonitor;

// What ended a receive or a wait for data.
struct ReceiveFlags {
  bool timedOut = false;     // the idle limit passed without data
  bool aborted = false;      // the caller's callback asked to stop
  bool socketError = false;  // the socket failed or the peer closed it
};

// What a receive records when the peer has closed, and when it failed. The
// first reads oddly, but every trail has always said it so: keep it.
constexpr const char kReceiveClosedText[] = "Failed to received data on socket.";
constexpr const char kReceiveFailedText[] = "Failed to receive data on the TCP socket";

// Time limits that stand for "no limit", and the bounds of the settings.
constexpr uint32_t kUnlimitedWaitMs = 21600000;  // six hours
constexpr uint32_t kLargestIdleLimitMs = 5000000;
constexpr uint32_t kSmallestSliceMs = 50;
constexpr uint32_t kLargestReceiveBuffer = 1000000;
// While more follows, sends are gathered up to this many bytes (and pieces of
// a file up to this many) and go out in one system call.
constexpr size_t kGatherBytes = 256 * 1024;

// Starts Windows Sockets once per process, through `env`. Later calls return
// true at once, also when the first attempt failed. The reason of a failure
// goes to `log`.
bool startSockets(platform::Env& env, DiagnosticLog& log);

// Records the text of a Windows Sockets error code as "SocketError", with
// hints for some codes.
void reportSocketError(int code, DiagnosticLog& log);

// Host look-up through a cleaned copy and a "www." retry, with a time limit
// (0: none) checked between look-ups (a look-up itself is not interrupted) on
// the clock of `env`. True with the first IPv4 address (network byte order).
bool resolveHost(platform::Env& env, const char* host, uint32_t timeLimitMs, DiagnosticLog& log, uint32_t* address);

class TcpSocket {
 public:
  // Runs the Windows Sockets start-up if it is still pending. Its clock and
  // start-up are those of `env`.
  explicit TcpSocket(platform::Env& env);
  virtual ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Closes any open socket and opens a new one.
  bool createSocket(DiagnosticLog& log);
  // Connects to `host` within connectTimeoutMs (0: one blocking connect with
  // no limit): a non-blocking connect and a wait for writability. Given a
  // monitor and a heartbeat, the look-up counts against the time, the wait is
  // sliced at the heartbeat so the monitor can stop it, and there is one
  // attempt; otherwise the look-up is not timed, and a wait that runs out is
  // tried once more. Never lets an exception out.
  bool connectTo(const char* host, int port, uint32_t heartbeatMs, DiagnosticLog& log, ProgressMonitor* monitor);

  // One wait for writability (before the connect is made: for its outcome);
  // 0 means six hours.
  bool waitWritable(uint32_t timeLimitMs, DiagnosticLog& log);
  // The same in heartbeat slices with an abort check after each slice.
  bool waitWritableMonitored(uint32_t heartbeatMs, uint32_t timeLimitMs, DiagnosticLog& log,
                             ProgressMonitor* monitor, bool& aborted);

  // 0 and anything above 5000000 become 5000000.
  void setIdleLimit(uint32_t ms);
  uint32_t idleLimitMs() const { return idleLimitMs_; }
  // While on, sendAll gathers what it is given and sends it when kGatherBytes
  // are together (and the system may hold a partly filled packet back); the
  // first sendAll after it is turned off, and every receive, first send what
  // was gathered.
  void setMoreToFollow(bool on) { moreToFollow_ = on; }
  // 0: a blocking connect with no limit.
  void setConnectTimeoutMs(uint32_t ms) { connectTimeoutMs_ = ms; }
  uint32_t connectTimeoutMs() const { return connectTimeoutMs_; }

  // Shuts down both directions and closes; not connected afterwards.
  void closeSocket();

  // Waits until the socket is readable: the first slice is half a heartbeat
  // (at least 50 ms), then whole heartbeats, each recorded in the log.
  bool waitForData(uint32_t heartbeatMs, uint32_t timeLimitMs, ProgressMonitor* monitor, ReceiveFlags& flags,
                   DiagnosticLog& log);
  // The check between two slices of a wait: true, with the aborted flag and
  // its log entry, when the monitor's caller has asked to stop.
  static bool abortedBetweenSlices(ProgressMonitor* monitor, uint32_t heartbeatMs, ReceiveFlags& flags,
                                   DiagnosticLog& log);
  // Sends every byte in pieces of `chunkSize` (0: all at once) without ever
  // blocking longer than the idle limit. Every piece but the last tells the
  // system that more follows; so does the last while setMoreToFollow is on.
  // A piece that is gathered counts as sent: it has the abort check before it
  // and is counted on the monitor as a piece sent at once would be, so the
  // caller's progress is the same; a failure to send it shows in a later call.
  bool sendAll(const void* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, DiagnosticLog& log,
               ProgressMonitor* monitor);
  // sendAll for `size` bytes of the open file `file` from `offset`, which the
  // system takes from the file itself (platform::sendFromFile); contiguous
  // pieces are gathered into one range. A file that ends before them fails
  // the send that meets its end.
  bool sendFromFile(platform::FileHandle file, uint64_t offset, size_t size, uint32_t chunkSize, uint32_t heartbeatMs,
                    DiagnosticLog& log, ProgressMonitor* monitor);
  // Sends what was gathered.
  bool flush(uint32_t heartbeatMs, DiagnosticLog& log, ProgressMonitor* monitor);
  // One receive of at most `length` bytes after waitForData; `length` gets the
  // count. A peer that closed closes this socket too.
  bool receiveAvailable(void* buffer, uint32_t& length, uint32_t heartbeatMs, DiagnosticLog& log,
                        ProgressMonitor* monitor, ReceiveFlags& flags);
  // receiveAvailable into a buffer of `maxBytes` (1 to 1000000), appended to
  // `out`. True when `out` grew.
  bool receiveChunk(DataBuffer& out, uint32_t maxBytes, uint32_t heartbeatMs, DiagnosticLog& log,
                    ProgressMonitor* monitor, ReceiveFlags& flags);

  bool hasSocket() const { return handle_ != platform::kInvalidSocket; }
  platform::SocketHandle handle() const { return handle_; }

 private:
  // Checks the host and maps "localhost".
  bool prepareHost(const char* host, std::string& use, DiagnosticLog& log);
  // The host's address; `timed`: the look-up counts against `budget`.
  bool findAddress(const std::string& host, bool timed, uint32_t& budget, DiagnosticLog& log, uint32_t* address);
  // The connect itself, on the socket just made, within `budget`; `monitor`
  // (null: none) follows its waits.
  bool connectAddress(uint32_t address, int port, uint32_t budget, uint32_t heartbeatMs, DiagnosticLog& log,
                      ProgressMonitor* monitor);
  // After a writability wait: true when the connect went through, else
  // `code` gets the error that ended it (recorded as "sockError").
  bool connectCompleted(int& code, DiagnosticLog& log);
  // One recv on a socket found readable. A peer that closed closes this
  // socket too; a failed recv records the system's text. Bytes received are
  // counted on the monitor.
  bool receiveReady(void* buffer, uint32_t& length, DiagnosticLog& log, ProgressMonitor* monitor);
  // One platform wait for writability of at most `ms`.
  int waitWritableOnce(uint32_t ms) const;
  // What a send takes its bytes from: memory, or (bytes null) an open file.
  struct Outgoing {
    const unsigned char* bytes = nullptr;
    platform::FileHandle file = platform::kInvalidFile;
    uint64_t offset = 0;
    size_t size = 0;
  };
  // The sending loop of sendAll. Fresh bytes get the abort check before each
  // piece and are counted on the monitor after it; gathered ones had both when
  // they were taken, so only the waits for room consult the monitor. With
  // `moreAfter` the system may hold the last piece back.
  bool sendPieces(const Outgoing& out, uint32_t chunkSize, uint32_t heartbeatMs, bool fresh, bool moreAfter,
                  DiagnosticLog& log, ProgressMonitor* monitor);
  // Takes the bytes into the gather buffer, sending what was gathered first
  // when they do not fit or a file range waits before them.
  bool gather(const unsigned char* data, size_t size, uint32_t chunkSize, uint32_t heartbeatMs, DiagnosticLog& log,
              ProgressMonitor* monitor);
  // Sends the gathered bytes, then the gathered file range; both are empty
  // afterwards, also on failure.
  bool sendGathered(uint32_t heartbeatMs, bool moreAfter, DiagnosticLog& log, ProgressMonitor* monitor);
  // Puts the socket in or out of non-blocking mode when it is not so already.
  void setNonBlockingMode(bool on);

  platform::Env& env_;
  platform::SocketHandle handle_ = platform::kInvalidSocket;
  bool connected_ = false;
  uint32_t idleLimitMs_ = 30000;
  uint32_t connectTimeoutMs_ = 7000;
  bool moreToFollow_ = false;
  // Sends run in non-blocking mode, set once for a run of them; receives and
  // connects in blocking mode.
  bool nonBlocking_ = false;
  std::vector<unsigned char> gathered_;
  Outgoing gatheredFile_;  // follows gathered_ on the wire
};

}  // namespace component
