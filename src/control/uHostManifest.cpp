#include "control/uHostManifest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "pub/Unit_Pub.h"
#include "pub/uSafeFile.h"

std::vector<THostManifestDir> HostManifestDirs() {
  std::string Home = EnvFolder("HOME", "/tmp");
  std::string Config = EnvFolder("XDG_CONFIG_HOME", Home + "/.config");
  return {{"Chromium", Config + "/chromium/NativeMessagingHosts/", false},
          {"Google Chrome", Config + "/google-chrome/NativeMessagingHosts/", false},
          {"Firefox", Home + "/.mozilla/native-messaging-hosts/", true}};
}

std::string HostManifestFile(const THostManifestDir &D) { return D.Dir + HostName + ".json"; }

std::string HostLauncherPath(const std::string &PrgDir) { return PrgDir + "mossgather-host"; }

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

void WriteHostManifests(const std::string &PrgDir, const std::vector<THostManifestDir> &Dirs) {
  std::string Launcher = HostLauncherPath(PrgDir);
  // The browser passes the extension's origin as the first argument; the
  // program wants its own switch there.
  WriteFileAtomic(Launcher, "#!/bin/sh\nexec '" + StringReplaceAll(PrgDir, "'", "'\\''") + "mossgather' -Embedding \"$@\"\n");
  ::chmod(Launcher.c_str(), 0755);
  std::string FirstError;
  for (const auto &D : Dirs) {
    try {
      if (!Dir_Force(D.Dir)) throw EMossError("Cannot create " + D.Dir);
      WriteFileAtomic(HostManifestFile(D), HostManifestJson(Launcher, D.Firefox));
    } catch (const std::exception &E) {
      if (FirstError.empty()) FirstError = E.what();
    }
  }
  if (!FirstError.empty()) throw EMossError(FirstError);
}

bool RemoveHostManifests(const std::string &PrgDir, const std::vector<THostManifestDir> &Dirs) {
  bool Any = false;
  for (const auto &D : Dirs) Any = ::unlink(HostManifestFile(D).c_str()) == 0 || Any;
  ::unlink(HostLauncherPath(PrgDir).c_str());
  return Any;
}
