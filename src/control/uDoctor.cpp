#include "control/uDoctor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "control/uBrowsers.h"
#include "control/uHostManifest.h"
#include "control/uIEMenu.h"
#include "platform/TChannelClient.h"
#include "platform/TIniFile.h"
#include "platform/TRegistryStore.h"
#include "platform/TRuntimeDir.h"
#include "pub/Unit_Pub.h"
#include "pub/uRunVars.h"

namespace {

struct TReport {
  std::ostream &Out;
  int Failed = 0;
  void Check(bool Ok, const std::string &What, const std::string &Fix) {
    Out << (Ok ? "[ OK ] " : "[FAIL] ") << What << "\n";
    if (!Ok) {
      Out << "       fix: " << Fix << "\n";
      ++Failed;
    }
  }
  // Tells without counting a failure: "NOTE" for how something works,
  // "WARN" for what cannot work and nothing of ours can mend.
  void Tell(const char *Tag, const std::string &What) { Out << "[" << Tag << "] " << What << "\n"; }
};

bool Executable(const std::string &Path) { return File_Exists(Path) && ::access(Path.c_str(), X_OK) == 0; }

// What is wrong with one browser's manifest (and the launcher it names),
// or empty when both are sound.
std::string ManifestFault(const TBrowserSite &S, const std::string &PrgDir) {
  const std::string File = HostManifestFile(S);
  const bool Firefox = S.Firefox;
  std::string Text;
  if (!ReadWholeFile(File, Text, 1u << 20)) return "missing";
  QJsonParseError Pe{};
  QJsonDocument D = QJsonDocument::fromJson(QByteArray::fromStdString(Text), &Pe);
  if (Pe.error != QJsonParseError::NoError || !D.isObject()) return "not valid JSON";
  QJsonObject M = D.object();
  if (M.value(QStringLiteral("name")).toString() != QString::fromLatin1(HostName)) return "wrong host name";
  if (M.value(QStringLiteral("type")).toString() != QStringLiteral("stdio")) return "type is not \"stdio\"";
  std::string Path = M.value(QStringLiteral("path")).toString().toStdString();
  if (Path != SiteLauncherPath(S, PrgDir)) return "names " + (Path.empty() ? std::string("no program") : Path);
  if (!Executable(Path)) return "its launcher " + Path + " is missing or not executable";
  std::string Script;
  if (!S.LauncherDir.empty() && (!ReadWholeFile(Path, Script, 1u << 16) || Script != HostLauncherScript(S, PrgDir)))
    return "its launcher " + Path + " does not start " +
           (HostRelayInstalled(PrgDir) ? HostRelayPath(PrgDir) : PrgDir + "mossgather");
  QJsonArray Allowed = M.value(QString::fromLatin1(Firefox ? "allowed_extensions" : "allowed_origins")).toArray();
  QString Want = Firefox ? QString::fromLatin1(FirefoxExtensionId)
                         : QStringLiteral("chrome-extension://%1/").arg(QString::fromLatin1(ExtensionId));
  if (!Allowed.contains(Want)) return "does not allow the Mossgather extension";
  return {};
}

}  // namespace

int RunDoctor(const std::string &PrgDir, std::ostream &Out) {
  TReport R{Out};
  Out << "Mossgather " << AppVersion << " set-up check, program folder " << PrgDir << "\n";
  R.Check(Dir_Exists(PrgDir) && Executable(PrgDir + "mossgather"), "program folder holds the program",
          "run ./scripts/install.sh from the source folder");
  R.Check(File_Exists(PrgDir + "Help/introduction.htm") && File_Exists(PrgDir + "help/use.htm"), "help pages",
          "run ./scripts/install.sh again");

  std::string Cur;
  TRegistryStore Reg = TRegistryStore::CurrentUser();
  bool HasCur = Reg.ReadString(RegKeyMossgather, RegValCurExeFile, Cur);
  R.Check(HasCur && Executable(Cur), "installed program recorded (CurExeFile = " + (HasCur ? Cur : std::string("none")) + ")",
          "run ./scripts/install.sh, or: mossgather-reg set 'Software\\Mossgather\\' CurExeFile " + PrgDir + "mossgather");

  {
    // Written at every start for the program folder as it was then: a relay
    // installed or removed since is followed only once it is written again.
    const std::string Launcher = HostLauncherPath(PrgDir);
    std::string Script;
    bool Current =
        Executable(Launcher) && ReadWholeFile(Launcher, Script, 1u << 16) && Script == HostLauncherScript(TBrowserSite{}, PrgDir);
    std::string Starts = HostRelayInstalled(PrgDir) ? HostRelayPath(PrgDir) : PrgDir + "mossgather -Embedding";
    R.Check(Current,
            "native-messaging launcher " + Launcher + (Current ? " starts " + Starts : " is missing or does not start " + Starts),
            "run: " + PrgDir + "mossgather -REGSERVER");
  }
  std::vector<TBrowserSite> Sites = FindBrowsers(TBrowserEnv::FromEnvironment());
  R.Check(!Sites.empty(),
          Sites.empty() ? "no supported browser found for this user (Chromium, Google Chrome, Brave, Vivaldi, Microsoft Edge, "
                          "Opera or Firefox)"
                        : "browsers found: " + std::to_string(Sites.size()),
          "install one and start it once, then run: " + PrgDir + "mossgather -REGSERVER");
  for (const auto &S : Sites) {
    if (!S.Dir.empty()) {
      std::string Fault = ManifestFault(S, PrgDir);
      R.Check(Fault.empty(), S.Label() + ": host manifest " + HostManifestFile(S) + (Fault.empty() ? "" : ": " + Fault),
              "run: " + PrgDir + "mossgather -REGSERVER");
    }
    if (!S.Ready && !S.Fix.empty())
      R.Check(false, S.Note, "run: " + S.Fix);
    else if (!S.Ready)
      R.Tell("WARN", S.Note);
    else if (S.Pack != TBrowserPack::Native)
      R.Tell("NOTE", S.Note);
  }

  std::string Ext = PrgDir + "IEMenu/";
  std::string Missing;
  for (const char *F : {"manifest.json", "background.js"})
    if (!File_Exists(Ext + F)) Missing += std::string(Missing.empty() ? "" : ", ") + F;
  for (const auto &M : IEMenuItems)
    if (!File_Exists(Ext + M.Script)) Missing += std::string(Missing.empty() ? "" : ", ") + M.Script;
  R.Check(Missing.empty(), "browser extension files in " + Ext + (Missing.empty() ? "" : ": missing " + Missing),
          "run ./scripts/install.sh again, then reload the extension in the browser");
  R.Check(RegisteredMenus(Reg).size() == std::size(IEMenuItems), "the five menu entries are registered",
          "use Tools > Register IE menu items, or run: " + PrgDir + "mossgather -RegIEMenu");

  std::string Sock;
  try {
    Sock = ChannelPath(AppTitle);
    R.Check(true, "runtime folder " + RuntimeDir() + " is private", "");
  } catch (const std::exception &E) {
    R.Check(false, std::string("runtime folder: ") + E.what(), "remove the folder named above and start Mossgather again");
  }
  std::string Reply;
  bool Running = !Sock.empty() && Channel_Request(Sock, R"({"method":"Ping"})", Reply, 1000);
  // Not running is no fault: the browser starts it when needed.
  Out << (Running ? "[ OK ] a copy is running and answers\n"
                  : "[ -- ] no copy is running (the browser starts one when needed)\n");
  Out << (R.Failed == 0 ? "All checks passed.\n" : std::to_string(R.Failed) + " check(s) failed.\n");
  return R.Failed;
}
