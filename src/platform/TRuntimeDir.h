#pragma once
// The per-user runtime folder that holds the single-instance lock and the
// request channel's socket: $XDG_RUNTIME_DIR/mossgather/, or
// /tmp/mossgather-<uid>/ without that variable. It is created with mode 0700
// and refused when another user owns it or others may enter it, so no other
// user can reach the channel or take the lock.
#include <string>

// The folder, ending in "/"; throws EMossError when it cannot be made safe.
std::string RuntimeDir();

// An exclusive lock held for the life of the process (or of the object):
// the stand-in for a named mutex. The lock file is named after the mutex.
class TInstanceLock {
 public:
  TInstanceLock() = default;
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock &) = delete;
  TInstanceLock &operator=(const TInstanceLock &) = delete;
  // True when this process now holds the lock Name; false when another does.
  // Throws EMossError when the lock file cannot be opened.
  bool TryLock(const std::string &Name);
  // Takes the lock file without testing it (the lock may be held elsewhere).
  void Open(const std::string &Name);
  bool Held() const { return FHeld; }
  void Release();

 private:
  int FFd = -1;
  bool FHeld = false;
};

// The socket path of the channel named after the application title.
std::string ChannelPath(const std::string &AppTitle);
