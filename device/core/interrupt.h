// A run asked from outside to stop (a signal the host caught): the request is only noted
// where it arrives, and acted on at the next point where stopping leaves everything whole,
// between one file (or entry) and the next, where the host's handler ends the process.
#pragma once

namespace device {

// Notes a request to stop, for `signal`. Safe to call from a signal handler.
void interruptRequest(int signal);

// The signal of the request noted, or 0.
int interruptRequested();

// The handler run at the first point after a request; it is not to return. Null: none, and
// requests wait for the host to see them.
void interruptOnRequest(void (*handler)(int signal));

// Called by the families before each file or entry they act on: runs the handler once a
// request has been noted.
void interruptPoint();

}  // namespace device
