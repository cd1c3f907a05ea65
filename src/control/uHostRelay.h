#pragma once
// The native-messaging host: the browser starts "mossgather -Embedding"
// (through the launcher its manifest names) and talks to it over standard
// input and output in framed JSON. The host answers "GetMenus" (from the
// key store) and "Check" (how the set-up stands) itself and relays every
// other message to the running copy, whose reply it writes back. When no
// copy answers it starts one and retries for a few seconds. It ends when
// the browser closes its input.
#include <functional>
#include <string>

struct THostOptions {
  std::string ChannelPath;             // the running copy's socket
  std::function<bool()> StartCopy;     // starts a copy; false when none could be started
  std::string Program = "mossgather";  // the program as failure replies name it in their fix
  int StartWaitMs = 10000;             // how long a started copy may take to answer
  int RequestTimeoutMs = 60000;        // how long one request may take
};

// The browser accepts replies of at most 1 MiB.
inline constexpr size_t MaxReplyToBrowser = 1u << 20;

int RunHostRelay(int InFd, int OutFd, const THostOptions &Opt);
// One message's reply (framing excluded), for the tests.
std::string HostAnswer(const std::string &Json, const THostOptions &Opt, bool &Started);
