#pragma once

#include <functional>

// "Let pending window events be processed": the desktop program installs a
// handler that does so; the command line has none; tests count the calls.
namespace PendingEvents {

using Handler = std::function<void()>;

// An empty handler makes process() do nothing.
void setHandler(Handler handler);
void process();

} // namespace PendingEvents
