// The system's proxy setting, read back as the system's own tools write it:
// the environment on Linux; under Wine, the registry values of Internet
// Options, through WinHTTP.
#include "platform/proxy.h"

#include <gtest/gtest.h>

#include "app/proxy.h"
#include "support/real_proxy.h"

namespace {

TEST(SystemProxy, IsReadBackAsTheSystemsToolsWriteItWithItsBypassList) {
  testsupport::SystemProxyScope scope("127.0.0.1:3128", "example.org");
  const platform::SystemProxy setting = platform::readSystemProxy("https://kestrova.com/", 1000);
  for (const bool secure : {true, false}) {
    const auto proxy = app::systemProxyFor(setting, secure, "kestrova.com", secure ? 443 : 80);
    EXPECT_EQ(proxy ? proxy->address() : "direct", "127.0.0.1:3128") << secure;
  }
  EXPECT_FALSE(app::systemProxyFor(setting, true, "example.org", 443));
}

}  // namespace
