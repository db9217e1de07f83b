// Host names to IPv4 addresses. A name that is not found is tried again
// cleaned of stray blanks and punctuation pasted in with it, and a bare
// "name.tld" once more with "www." in front.
#include <algorithm>
#include <cstring>
#include <string>

#include "component/net/tcp_socket.h"

namespace component {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Trimmed, without blanks and the characters of addresses pasted whole, and in
// lower case (ASCII, and the Latin-1 capitals 192 to 223).
std::string cleanedHost(const std::string& host) {
  size_t begin = 0;
  size_t end = host.size();
  while (begin < end && isBlank(host[begin])) ++begin;
  while (end > begin && isBlank(host[end - 1])) --end;
  std::string out;
  for (size_t i = begin; i < end; ++i) {
    const char c = host[i];
    if (isBlank(c) || std::strchr("'\"<>:/@?", c)) continue;
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 192 && u <= 223)) {
      out.push_back(static_cast<char>(u + 32));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool hasOneDot(const std::string& s) { return std::count(s.begin(), s.end(), '.') == 1; }

// Takes the time since `start` off `budget`; false (and the message) when the
// budget is used up. No limit, or a wrapped counter, skips the check.
bool budgetLeft(platform::Env& env, uint32_t limitMs, uint32_t start, uint32_t& budget, DiagnosticLog& log) {
  const uint32_t now = env.tickCount();
  if (limitMs == 0 || now < start) return true;
  const uint32_t spent = now - start;
  if (spent >= budget) {
    log.logError("DNS timed out.");
    return false;
  }
  budget -= spent;
  return true;
}

}  // namespace

bool resolveHost(platform::Env& env, const char* host, uint32_t timeLimitMs, DiagnosticLog& log, uint32_t* address) {
  if (!host || !startSockets(env, log)) return false;
  const std::string given(host);
  uint32_t budget = timeLimitMs;
  uint32_t start = env.tickCount();
  if (platform::lookUpIPv4(given, address)) return true;
  if (!budgetLeft(env, timeLimitMs, start, budget, log)) return false;

  const std::string cleaned = cleanedHost(given);
  if (cleaned.empty()) return false;
  if (cleaned.size() != given.size()) {
    start = env.tickCount();
    if (platform::lookUpIPv4(cleaned, address)) return true;
    if (!budgetLeft(env, timeLimitMs, start, budget, log)) return false;
  }
  return hasOneDot(cleaned) && platform::lookUpIPv4("www." + cleaned, address);
}

}  // namespace component
