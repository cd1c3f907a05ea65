#pragma once
// The browser's side of the set-up: the native-messaging host manifests
// that let the extension start "mossgather -Embedding", and the small
// launchers they name (the browser passes no switches of its own).
#include <string>
#include <vector>

#include "control/uBrowsers.h"

class TRegistryStore;

inline constexpr const char *HostName = "org.mossgather.picker";
inline constexpr const char *ExtensionId = "clpjckchdmpkgcenimeglbnciacogkjo";
inline constexpr const char *FirefoxExtensionId = "picker@mossgather.org";
// Below it, one key per folder the set-up created, so that removing the
// set-up takes away exactly what writing it added.
inline constexpr const char *RegKeyHostSetup = "Software\\Mossgather\\HostSetup\\";

std::string HostManifestFile(const TBrowserSite &S);
// PrgDir + "mossgather-host".
std::string HostLauncherPath(const std::string &PrgDir);
// PrgDir + "mossgather-relay": the host without the windows, which the
// launchers start when it is there.
std::string HostRelayPath(const std::string &PrgDir);
bool HostRelayInstalled(const std::string &PrgDir);
// What the launchers written now start: the relay when it is present and
// executable, else "mossgather -Embedding".
std::string HostCommand(const std::string &PrgDir);
// The launcher Site's manifest names: the program folder's, or for a
// Flatpak browser one in its own folder.
std::string SiteLauncherPath(const TBrowserSite &S, const std::string &PrgDir);
std::string HostLauncherScript(const TBrowserSite &S, const std::string &PrgDir);
std::string HostManifestJson(const std::string &LauncherPath, bool Firefox);

// Writes the program folder's launcher and, for every site with a folder,
// its manifest (and a Flatpak browser's launcher); a file already holding
// the same text is left alone. The folders created on the way are recorded
// in Reg. Throws EMossError naming the first failure; the rest is still
// written.
void WriteHostManifests(const std::string &PrgDir, const std::vector<TBrowserSite> &Sites, TRegistryStore &Reg);
// Removes our manifests and launchers from Sites, then the folders Reg
// records as made by the set-up, where they are empty. Returns how many
// files were removed.
int RemoveHostManifests(const std::string &PrgDir, const std::vector<TBrowserSite> &Sites, TRegistryStore &Reg);
