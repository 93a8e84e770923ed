#pragma once

#include <QObject>

#include <functional>

// Turns the termination requests of the session (SIGTERM, SIGINT, SIGHUP)
// into a call made from the event loop, so that the program can close its
// windows as if the user had closed them.
namespace TerminationSignals {

// Installs the handlers once per process; the call is made in context's
// thread while context lives.
void install(QObject *context, std::function<void()> onRequest);

// True once a request has come, whether or not the event loop has seen it
// yet: a request during start-up ends the program before its window shows.
bool requested();

// A request made from within the program (a window that ends it), handled
// as a signal is: at the next pass of the event loop.
void request();

} // namespace TerminationSignals
