#pragma once
// The browsers a user has, and where each looks for the native-messaging
// host manifest that lets our extension start the program: Chromium,
// Google Chrome, Brave, Vivaldi, Microsoft Edge, Opera and Firefox, each
// installed natively, as a Flatpak or as a Snap. Only what is found is
// written to, so that a user's home gains no folders for browsers they do
// not have.
#include <string>
#include <vector>

enum class TBrowserPack { Native, Flatpak, Snap };

// The folders the look starts from. FromEnvironment reads HOME, the XDG
// folders, PATH and MOSSGATHER_SYSROOT (a folder standing in for "/" where
// the system's Flatpak and Snap installations are looked for; tests only).
struct TBrowserEnv {
  std::string Home;        // without a trailing "/"
  std::string ConfigHome;  // $XDG_CONFIG_HOME, or Home/.config
  std::string DataHome;    // $XDG_DATA_HOME, or Home/.local/share
  std::vector<std::string> Path;
  std::string SysRoot;  // "" for the real system
  static TBrowserEnv FromEnvironment();
};

// One browser installation and what it needs from us.
struct TBrowserSite {
  std::string Browser;  // "Chromium", "Google Chrome", ..., "Firefox"
  TBrowserPack Pack = TBrowserPack::Native;
  std::string AppId;  // the Flatpak application id or the Snap's name
  bool Firefox = false;
  // Where this browser reads host manifests, "/"-ended; empty when it can
  // start no program outside its sandbox, so nothing is written for it.
  std::string Dir;
  // A Flatpak browser sees nothing of the home outside its own folder: the
  // manifest names a launcher kept there ("/"-ended), which starts the
  // program outside the sandbox. Empty: the program folder's own launcher.
  std::string LauncherDir;
  // Whether the browser can start the program as things stand.
  bool Ready = true;
  // For the user: how the browser reaches the program, or why it cannot.
  std::string Note;
  // The one command that makes it ready; empty when there is none.
  std::string Fix;

  // "Chromium", "Firefox (Flatpak org.mozilla.firefox)", "Chromium (Snap)".
  std::string Label() const;
};

// The browsers present for the user, in a fixed order (by browser, native
// first). A browser counts as present when its configuration folder exists
// (it has run for this user) or, natively, its program is on the PATH; a
// Flatpak when its application folder or installation exists; a Snap when
// the snap is installed or has run.
std::vector<TBrowserSite> FindBrowsers(const TBrowserEnv &Env);
// Every place a manifest of ours could be, whether its browser is present
// or not: what removal looks at.
std::vector<TBrowserSite> AllBrowserSites(const TBrowserEnv &Env);
// Whether a Flatpak application may start programs outside its sandbox
// (talk to org.freedesktop.Flatpak), by the user's and the system's
// overrides and the application's own permissions, in Flatpak's order.
bool FlatpakMayLeaveSandbox(const TBrowserEnv &Env, const std::string &AppId);
