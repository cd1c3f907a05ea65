#pragma once
// The browser's side of the set-up: the native-messaging host manifests
// that let the extension start "mossgather -Embedding", and the small
// launcher they name (the browser passes no switches of its own).
#include <string>
#include <vector>

inline constexpr const char *HostName = "org.mossgather.picker";
inline constexpr const char *ExtensionId = "clpjckchdmpkgcenimeglbnciacogkjo";
inline constexpr const char *FirefoxExtensionId = "picker@mossgather.org";

struct THostManifestDir {
  std::string Browser;  // "Chromium", "Google Chrome", "Firefox"
  std::string Dir;      // ends in "/"
  bool Firefox = false;
};

// The user-level manifest folders of the three browsers.
std::vector<THostManifestDir> HostManifestDirs();
std::string HostManifestFile(const THostManifestDir &D);
// PrgDir + "mossgather-host".
std::string HostLauncherPath(const std::string &PrgDir);
std::string HostManifestJson(const std::string &LauncherPath, bool Firefox);

// Writes the launcher and a manifest into every folder; throws EMossError
// naming the first that failed (the others are still written).
void WriteHostManifests(const std::string &PrgDir, const std::vector<THostManifestDir> &Dirs);
// Removes our manifests (and the launcher); false when there was none.
bool RemoveHostManifests(const std::string &PrgDir, const std::vector<THostManifestDir> &Dirs);
