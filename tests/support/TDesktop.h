#pragma once
// A desktop of the test's own for the real program's windows: an Xvfb server
// on a free display, and a user's keyboard through xdotool (XTEST events,
// which Qt takes as typing).
#include <sys/types.h>

#include <string>
#include <vector>

class TDesktop {
 public:
  TDesktop();
  ~TDesktop();  // stops the server
  TDesktop(const TDesktop &) = delete;
  TDesktop &operator=(const TDesktop &) = delete;

  // False when Xvfb or xdotool is missing or the server did not start;
  // Error says why.
  bool Running() const { return FPid > 0; }
  const std::string &Error() const { return FError; }
  // ":<n>", for the program's DISPLAY.
  const std::string &Display() const { return FDisplay; }

  // Runs xdotool with Args; its output, trimmed; Ok false when it failed.
  std::string Xdo(const std::vector<std::string> &Args, bool *Ok = nullptr) const;
  // The first shown window titled exactly Title, waited for up to Ms; empty
  // when none came.
  std::string WaitWindow(const std::string &Title, int Ms) const;
  bool WaitNoWindow(const std::string &Title, int Ms) const;
  // Gives Window the keyboard focus, then presses Keys one after another
  // ("alt+t", "Tab", "space", "Return").
  void Keys(const std::string &Window, const std::vector<std::string> &Keys) const;
  // Types Text into whatever has the focus in Window.
  void Type(const std::string &Window, const std::string &Text) const;
  // Asks Window to close, as a window manager's close button does; false
  // when the request could not be sent.
  bool Close(const std::string &Window) const;

 private:
  pid_t FPid = -1;
  std::string FDisplay, FError;
};
