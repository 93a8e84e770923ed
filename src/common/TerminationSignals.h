#pragma once

#include <QObject>

#include <functional>

// Turns the termination requests of the session (SIGTERM, SIGINT, SIGHUP)
// into a call made from the event loop, so that the program can close its
// windows as if the user had closed them.
namespace TerminationSignals {

// Called first thing in main(): a request that comes before install() is
// held back until then, instead of ending the program on the spot.
void holdUntilInstalled();

// Installs the handlers once per process; the call is made in context's
// thread while context lives. A request held back is handled now.
void install(QObject *context, std::function<void()> onRequest);

// True once a request has come, whether or not the event loop has seen it
// yet: a request during start-up ends the program before its window shows.
bool requested();

// A request made from within the program (a window that ends it), handled
// as a signal is: at the next pass of the event loop.
void request();

} // namespace TerminationSignals
