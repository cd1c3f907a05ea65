#include "control/uBrowsers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/TIniFile.h"
#include "platform/uLocalFile.h"
#include "pub/Unit_Pub.h"

namespace {

struct TKind {
  const char *Name;
  bool Firefox;
  const char *ConfigDir;  // below the configuration home; Firefox keeps ~/.mozilla
  std::vector<const char *> Programs;
  const char *FlatpakId;
  const char *SnapName;  // nullptr: not published as a Snap
};

const std::vector<TKind> &Kinds() {
  static const std::vector<TKind> K = {
      {"Chromium", false, "chromium", {"chromium", "chromium-browser"}, "org.chromium.Chromium", "chromium"},
      {"Google Chrome", false, "google-chrome", {"google-chrome", "google-chrome-stable"}, "com.google.Chrome", nullptr},
      {"Brave", false, "BraveSoftware/Brave-Browser", {"brave-browser", "brave"}, "com.brave.Browser", "brave"},
      {"Vivaldi", false, "vivaldi", {"vivaldi", "vivaldi-stable"}, "com.vivaldi.Vivaldi", "vivaldi"},
      {"Microsoft Edge", false, "microsoft-edge", {"microsoft-edge", "microsoft-edge-stable"}, "com.microsoft.Edge", nullptr},
      {"Opera", false, "opera", {"opera"}, "com.opera.Opera", "opera"},
      {"Firefox", true, nullptr, {"firefox", "firefox-esr"}, "org.mozilla.firefox", "firefox"},
  };
  return K;
}

std::string FirefoxNativeDir(const TBrowserEnv &Env) { return Env.Home + "/.mozilla/native-messaging-hosts/"; }

std::string FlatpakAppDir(const TBrowserEnv &Env, const std::string &Id) { return Env.Home + "/.var/app/" + Id + "/"; }

// Ubuntu's "chromium-browser" and "firefox" on the PATH only start the
// Snap: they are links into /snap or small scripts that name it.
bool IsSnapWrapper(const std::string &File) {
  char Real[PATH_MAX];
  if (::realpath(File.c_str(), Real) && std::string(Real).rfind("/snap/", 0) == 0) return true;
  std::string Text;
  if (File_SizeOf(File) > 8192 || !ReadWholeFile(File, Text, 8192)) return false;
  return Text.rfind("#!", 0) == 0 && (Text.find("/snap/bin/") != std::string::npos || Text.find("snap run") != std::string::npos);
}

bool OnPath(const TBrowserEnv &Env, const std::vector<const char *> &Programs) {
  for (const auto &Dir : Env.Path) {
    if (Dir.empty()) continue;
    for (const char *P : Programs) {
      std::string F = Dir + "/" + P;
      if (File_Exists(F) && ::access(F.c_str(), X_OK) == 0 && !IsSnapWrapper(F)) return true;
    }
  }
  return false;
}

TBrowserSite NativeSite(const TBrowserEnv &Env, const TKind &K) {
  TBrowserSite S;
  S.Browser = K.Name;
  S.Firefox = K.Firefox;
  S.Dir = K.Firefox ? FirefoxNativeDir(Env) : Env.ConfigHome + "/" + K.ConfigDir + "/NativeMessagingHosts/";
  S.Note = S.Browser + " starts Mossgather through the manifest in " + S.Dir;
  return S;
}

bool NativePresent(const TBrowserEnv &Env, const TKind &K) {
  bool Config = K.Firefox ? Dir_Exists(Env.Home + "/.mozilla") || Dir_Exists(Env.ConfigHome + "/mozilla")
                          : Dir_Exists(Env.ConfigHome + "/" + K.ConfigDir);
  return Config || OnPath(Env, K.Programs);
}

TBrowserSite FlatpakSite(const TBrowserEnv &Env, const TKind &K) {
  TBrowserSite S;
  S.Browser = K.Name;
  S.Pack = TBrowserPack::Flatpak;
  S.AppId = K.FlatpakId;
  S.Firefox = K.Firefox;
  // Inside the sandbox the configuration home and ~/.mozilla are the
  // application's own folders.
  std::string App = FlatpakAppDir(Env, S.AppId);
  S.Dir = K.Firefox ? App + ".mozilla/native-messaging-hosts/" : App + "config/" + K.ConfigDir + "/NativeMessagingHosts/";
  S.LauncherDir = App + "data/mossgather/";
  return S;
}

bool FlatpakPresent(const TBrowserEnv &Env, const std::string &Id) {
  return Dir_Exists(FlatpakAppDir(Env, Id)) || Dir_Exists(Env.DataHome + "/flatpak/app/" + Id) ||
         Dir_Exists(Env.SysRoot + "/var/lib/flatpak/app/" + Id);
}

TBrowserSite SnapSite(const TBrowserEnv &Env, const TKind &K) {
  TBrowserSite S;
  S.Browser = K.Name;
  S.Pack = TBrowserPack::Snap;
  S.AppId = K.SnapName;
  S.Firefox = K.Firefox;
  if (K.Firefox) {
    // The Snap asks the desktop's web-extensions portal, which reads the
    // manifests where a native Firefox does and starts the program outside.
    S.Dir = FirefoxNativeDir(Env);
    S.Note = "Firefox (Snap) starts Mossgather through the desktop's web-extensions portal, with the manifest in " + S.Dir +
             "; allow it when Firefox asks the first time (the portal comes with xdg-desktop-portal, as on Ubuntu 22.04 "
             "and later)";
  } else {
    S.Ready = false;
    S.Note = S.Label() + " cannot start programs outside its sandbox, so it cannot reach Mossgather; use " + S.Browser +
             " from a Debian package or from Flathub, or Firefox";
  }
  return S;
}

bool SnapPresent(const TBrowserEnv &Env, const std::string &Name) {
  return File_Exists(Env.SysRoot + "/snap/bin/" + Name) || Dir_Exists(Env.Home + "/snap/" + Name);
}

// The D-Bus policy for org.freedesktop.Flatpak in one permissions file,
// or empty when the file does not set one.
std::string FlatpakBusPolicy(const std::string &File) {
  if (!File_Exists(File)) return {};
  TIniFile Ini(File);
  return Trim(Ini.ReadString("Session Bus Policy", "org.freedesktop.Flatpak", ""));
}

}  // namespace

TBrowserEnv TBrowserEnv::FromEnvironment() {
  TBrowserEnv E;
  E.Home = EnvFolder("HOME", "/tmp");
  E.ConfigHome = EnvFolder("XDG_CONFIG_HOME", E.Home + "/.config");
  E.DataHome = EnvFolder("XDG_DATA_HOME", E.Home + "/.local/share");
  const char *P = std::getenv("PATH");
  std::string Path = P ? P : "/usr/local/bin:/usr/bin:/bin";
  size_t From = 0;
  for (;;) {
    size_t Colon = Path.find(':', From);
    E.Path.push_back(Path.substr(From, Colon == std::string::npos ? std::string::npos : Colon - From));
    if (Colon == std::string::npos) break;
    From = Colon + 1;
  }
  if (const char *R = std::getenv("MOSSGATHER_SYSROOT"); R && *R) E.SysRoot = EnvFolder("MOSSGATHER_SYSROOT", "");
  return E;
}

std::string TBrowserSite::Label() const {
  switch (Pack) {
    case TBrowserPack::Flatpak:
      return Browser + " (Flatpak " + AppId + ")";
    case TBrowserPack::Snap:
      return Browser + " (Snap)";
    case TBrowserPack::Native:
      break;
  }
  return Browser;
}

bool FlatpakMayLeaveSandbox(const TBrowserEnv &Env, const std::string &AppId) {
  // Highest precedence first: the user's override of the application, the
  // user's global one, the system's two, then the application's own.
  const std::string User = Env.DataHome + "/flatpak/", Sys = Env.SysRoot + "/var/lib/flatpak/";
  for (const std::string &F :
       {User + "overrides/" + AppId, User + "overrides/global", Sys + "overrides/" + AppId, Sys + "overrides/global",
        User + "app/" + AppId + "/current/active/metadata", Sys + "app/" + AppId + "/current/active/metadata"}) {
    std::string Policy = FlatpakBusPolicy(F);
    if (!Policy.empty()) return Policy == "talk" || Policy == "own";
  }
  return false;
}

std::vector<TBrowserSite> FindBrowsers(const TBrowserEnv &Env) {
  std::vector<TBrowserSite> Out;
  for (const auto &K : Kinds()) {
    if (NativePresent(Env, K)) Out.push_back(NativeSite(Env, K));
    if (FlatpakPresent(Env, K.FlatpakId)) {
      TBrowserSite S = FlatpakSite(Env, K);
      S.Ready = FlatpakMayLeaveSandbox(Env, S.AppId);
      if (S.Ready) {
        S.Note = S.Label() + " starts Mossgather outside its sandbox with flatpak-spawn, through the manifest in " + S.Dir;
      } else {
        S.Note = S.Label() + " may not start programs outside its sandbox until you allow it (which lets " + S.Browser +
                 " run any program outside its sandbox); then restart " + S.Browser;
        S.Fix = "flatpak override --user --talk-name=org.freedesktop.Flatpak " + S.AppId;
      }
      Out.push_back(S);
    }
    if (K.SnapName && SnapPresent(Env, K.SnapName)) Out.push_back(SnapSite(Env, K));
  }
  return Out;
}

std::vector<TBrowserSite> AllBrowserSites(const TBrowserEnv &Env) {
  std::vector<TBrowserSite> Out;
  for (const auto &K : Kinds()) {
    Out.push_back(NativeSite(Env, K));
    Out.push_back(FlatpakSite(Env, K));
  }
  return Out;
}
