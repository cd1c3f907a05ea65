#pragma once
// The native-messaging host: the browser starts "mossgather -Embedding"
// (through the launcher its manifest names) and talks to it over standard
// input and output in framed JSON. The host answers "GetMenus" (from the
// key store) and "Check" (how the set-up stands) itself and relays every
// other message to the running copy, whose reply it writes back. When no
// copy answers it starts one and retries for a few seconds. It ends when
// the browser closes its input.
//
// Two programs run the same host: "mossgather -Embedding" and the light
// mossgather-relay, which loads nothing of the windows and so answers each
// menu click sooner.
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

inline constexpr const char *RegKeyError = "Error REG key, please reinstall Mossgather!";

// The installed program file the key store records, or empty when none is
// recorded or the file is gone.
std::string InstalledProgramFile();
// The options of the host the browser starts: failures name the program
// folder's mossgather; a missing copy is started from the installed program
// file, or, without one, by WithoutInstalled (which tells the user why and
// starts the program file beside the host).
THostOptions BrowserHostOptions(std::function<bool()> WithoutInstalled);

int RunHostRelay(int InFd, int OutFd, const THostOptions &Opt);
// One message's reply (framing excluded), for the tests.
std::string HostAnswer(const std::string &Json, const THostOptions &Opt, bool &Started);
