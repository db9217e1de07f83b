#pragma once
// An Env whose ANSI code set is Windows-1252, whatever the machine's own is.
#include "platform/env.h"

namespace fptest {

class WesternEnv : public platform::Env {
 public:
  platform::CodeSet codeSet() const override { return platform::CodeSet(1252); }
};

}  // namespace fptest
