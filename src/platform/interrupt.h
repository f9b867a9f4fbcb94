// The one-shot Ctrl-C handler.
#pragma once

#include <atomic>
#include <string_view>

namespace nagare::platform {

// Installs a handler for Ctrl-C (SIGINT) that sets `flag` and writes `sjisMessage` to the console.
// It runs once: after it has fired, the next Ctrl-C ends the process until this is called again.
// The message is converted for the console here, since the handler itself may only write bytes.
void installOneShotInterrupt(std::atomic<bool>& flag, std::string_view sjisMessage);

}  // namespace nagare::platform
