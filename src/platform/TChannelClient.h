#pragma once
// The client side of the request channel over plain POSIX sockets, for the
// small programs that talk to the running copy (a second copy waking the
// first, the native-messaging host, the command-line tools).
#include <string>

// Sends one framed message to the socket at Path and waits for the framed
// reply, at most TimeoutMs in all. False, with Error set, when no copy
// listens there or it does not answer in time.
bool Channel_Request(const std::string &Path, const std::string &Json, std::string &Reply, int TimeoutMs,
                     std::string *Error = nullptr);
