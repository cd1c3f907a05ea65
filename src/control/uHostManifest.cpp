#include "control/uHostManifest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/TIniFile.h"
#include "platform/TRegistryStore.h"
#include "pub/Unit_Pub.h"
#include "pub/uSafeFile.h"

namespace {

std::string ShellQuote(const std::string &S) { return "'" + StringReplaceAll(S, "'", "'\\''") + "'"; }

// Creates Dir and its missing parents, private to the user as a browser's
// own folders are; the folders made are added to Created, outermost first.
void MakeFolders(const std::string &Dir, std::vector<std::string> &Created) {
  std::string Path;
  size_t From = 0;
  while (From < Dir.size()) {
    size_t Slash = Dir.find('/', From + 1);
    Path = Dir.substr(0, Slash);
    From = Slash == std::string::npos ? Dir.size() : Slash;
    if (Path.empty() || Dir_Exists(Path)) continue;
    if (::mkdir(Path.c_str(), 0700) != 0 && errno != EEXIST)
      throw EMossError("Cannot create " + Path + ": " + std::strerror(errno));
    Created.push_back(Path);
  }
}

// Writes Text unless the file holds it already: every start writes the
// set-up again, and most starts find nothing to change.
void WriteIfChanged(const std::string &File, const std::string &Text, mode_t Mode) {
  std::string Old;
  struct stat St {};
  bool Same =
      ReadWholeFile(File, Old, Text.size() + 1) && Old == Text && ::stat(File.c_str(), &St) == 0 && (St.st_mode & 0777) == Mode;
  if (Same) return;
  WriteFileAtomic(File, Text);
  if (::chmod(File.c_str(), Mode) != 0) throw EMossError("Cannot make " + File + " executable: " + std::strerror(errno));
}

std::vector<std::string> RecordedFolders(const TRegistryStore &Reg) {
  std::vector<std::string> Out;
  for (const auto &K : Reg.SubKeys(RegKeyHostSetup)) {
    std::string Path;
    if (Reg.ReadString(std::string(RegKeyHostSetup) + K, "", Path) && !Path.empty()) Out.push_back(Path);
  }
  return Out;
}

void RecordFolders(TRegistryStore &Reg, const std::vector<std::string> &Created) {
  if (Created.empty()) return;
  std::vector<std::string> Known = RecordedFolders(Reg);
  int Next = 0;
  for (const auto &K : Reg.SubKeys(RegKeyHostSetup)) Next = std::max(Next, std::atoi(K.c_str()) + 1);
  for (const auto &Path : Created) {
    if (std::find(Known.begin(), Known.end(), Path) != Known.end()) continue;
    Reg.WriteString(std::string(RegKeyHostSetup) + std::to_string(Next++), "", Path);
  }
}

}  // namespace

std::string HostManifestFile(const TBrowserSite &S) { return S.Dir + HostName + ".json"; }

std::string HostLauncherPath(const std::string &PrgDir) { return PrgDir + "mossgather-host"; }

std::string HostRelayPath(const std::string &PrgDir) { return PrgDir + "mossgather-relay"; }

bool HostRelayInstalled(const std::string &PrgDir) {
  const std::string Relay = HostRelayPath(PrgDir);
  return File_Exists(Relay) && ::access(Relay.c_str(), X_OK) == 0;
}

std::string HostCommand(const std::string &PrgDir) {
  if (HostRelayInstalled(PrgDir)) return ShellQuote(HostRelayPath(PrgDir));
  return ShellQuote(PrgDir + "mossgather") + " -Embedding";
}

std::string SiteLauncherPath(const TBrowserSite &S, const std::string &PrgDir) {
  return S.LauncherDir.empty() ? HostLauncherPath(PrgDir) : S.LauncherDir + "mossgather-host";
}

std::string HostLauncherScript(const TBrowserSite &S, const std::string &PrgDir) {
  // The browser passes the extension's origin (Firefox: the manifest and the
  // extension's id) as the arguments; the program wants its own switch first.
  // The relay is checked once, here: every start writes the launchers
  // again, so one that appears or goes is followed at the next start.
  std::string Program = HostCommand(PrgDir);
  if (S.LauncherDir.empty()) return "#!/bin/sh\nexec " + Program + " \"$@\"\n";
  // Started inside the browser's sandbox: the program runs outside it, and
  // ends with the sandbox.
  return "#!/bin/sh\n# Started by " + S.Label() + " inside its sandbox; Mossgather runs outside it.\n" +
         "exec flatpak-spawn --host --watch-bus " + Program + " \"$@\"\n";
}

std::string HostManifestJson(const std::string &LauncherPath, bool Firefox) {
  QJsonObject M;
  M.insert(QStringLiteral("name"), QString::fromLatin1(HostName));
  M.insert(QStringLiteral("description"), QStringLiteral("Mossgather saves pages, pictures and movies from the browser"));
  M.insert(QStringLiteral("path"), QString::fromStdString(LauncherPath));
  M.insert(QStringLiteral("type"), QStringLiteral("stdio"));
  if (Firefox)
    M.insert(QStringLiteral("allowed_extensions"), QJsonArray{QString::fromLatin1(FirefoxExtensionId)});
  else
    M.insert(QStringLiteral("allowed_origins"),
             QJsonArray{QStringLiteral("chrome-extension://%1/").arg(QString::fromLatin1(ExtensionId))});
  return QJsonDocument(M).toJson(QJsonDocument::Indented).toStdString();
}

void WriteHostManifests(const std::string &PrgDir, const std::vector<TBrowserSite> &Sites, TRegistryStore &Reg) {
  std::vector<std::string> Created;
  std::string FirstError;
  auto Guard = [&](const auto &Fn) {
    try {
      Fn();
    } catch (const std::exception &E) {
      if (FirstError.empty()) FirstError = E.what();
    }
  };
  Guard([&] { WriteIfChanged(HostLauncherPath(PrgDir), HostLauncherScript(TBrowserSite{}, PrgDir), 0755); });
  for (const auto &S : Sites) {
    if (S.Dir.empty()) continue;
    Guard([&] {
      if (!S.LauncherDir.empty()) {
        MakeFolders(S.LauncherDir, Created);
        WriteIfChanged(SiteLauncherPath(S, PrgDir), HostLauncherScript(S, PrgDir), 0755);
      }
      MakeFolders(S.Dir, Created);
      WriteIfChanged(HostManifestFile(S), HostManifestJson(SiteLauncherPath(S, PrgDir), S.Firefox), 0644);
    });
  }
  Guard([&] { RecordFolders(Reg, Created); });
  if (!FirstError.empty()) throw EMossError(FirstError);
}

int RemoveHostManifests(const std::string &PrgDir, const std::vector<TBrowserSite> &Sites, TRegistryStore &Reg) {
  int Removed = 0;
  auto Remove = [&Removed](const std::string &File) { Removed += ::unlink(File.c_str()) == 0 ? 1 : 0; };
  for (const auto &S : Sites) {
    if (!S.Dir.empty()) Remove(HostManifestFile(S));
    if (!S.LauncherDir.empty()) Remove(SiteLauncherPath(S, PrgDir));
  }
  Remove(HostLauncherPath(PrgDir));
  // Innermost first, so that a folder emptied by removing its child goes too;
  // a folder that holds anything else stays.
  std::vector<std::string> Folders = RecordedFolders(Reg);
  std::sort(Folders.begin(), Folders.end(), [](const std::string &A, const std::string &B) { return A.size() > B.size(); });
  for (const auto &F : Folders) ::rmdir(F.c_str());
  if (Reg.KeyExists(RegKeyHostSetup)) Reg.DeleteKey(RegKeyHostSetup);
  return Removed;
}
