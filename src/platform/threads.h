#pragma once
// Background threads of the client.
#include <functional>

namespace platform {

// Runs `body` on a new thread that nobody joins. Returns false when the thread
// could not be started (the body then never runs).
bool startDetachedThread(std::function<void()> body);

}  // namespace platform
