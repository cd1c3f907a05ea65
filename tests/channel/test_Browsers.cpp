// The browsers a user has, and the host manifests written for them: a
// temporary home holds each browser's configuration folders (native and
// Flatpak), a temporary PATH its programs and a folder standing in for "/"
// the system's Flatpak and Snap installations.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <map>
#include <sstream>

#include "control/uBrowsers.h"
#include "control/uDoctor.h"
#include "control/uHostManifest.h"
#include "control/uIEMenu.h"
#include "platform/TRegistryStore.h"
#include "pub/Unit_Pub.h"
#include "support/TProcess.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Every file and folder below Root, with each file's bytes: two calls
// compare equal exactly when nothing was added, removed or changed. The
// program's own key store is left out.
std::map<std::string, std::string> Tree(const std::string &Root) {
  std::map<std::string, std::string> Out;
  for (const auto &E : fs::recursive_directory_iterator(Root)) {
    std::string P = E.path().string().substr(Root.size());
    if (P.rfind("registry.ini", 0) == 0) continue;
    Out[P] = E.is_directory() ? "<dir>" : ReadFile(E.path().string());
  }
  return Out;
}

// Sets an environment variable for one scope.
class TEnvVar {
 public:
  TEnvVar(const char *Name, const std::string &Value) : FName(Name) {
    if (const char *Old = std::getenv(Name)) FOld = Old, FHad = true;
    ::setenv(Name, Value.c_str(), 1);
  }
  ~TEnvVar() {
    if (FHad)
      ::setenv(FName, FOld.c_str(), 1);
    else
      ::unsetenv(FName);
  }

 private:
  const char *FName;
  std::string FOld;
  bool FHad = false;
};

// What Before lacks of After.
std::vector<std::string> Added(const std::map<std::string, std::string> &Before,
                               const std::map<std::string, std::string> &After) {
  std::vector<std::string> Out;
  for (const auto &[P, V] : After)
    if (!Before.count(P)) Out.push_back(P);
  return Out;
}

void Executable(const std::string &Path, const std::string &Text = "#!/bin/sh\n") {
  Dir_Force(fs::path(Path).parent_path().string());
  WriteFile(Path, Text);
  ::chmod(Path.c_str(), 0755);
}

struct BrowsersFixture : ::testing::Test {
  TTempDir Dir;
  std::string Home = Dir.Path() + "home";
  std::string Bin = Dir.Path() + "bin";
  std::string Sys = Dir.Path() + "sys";
  std::string Prg = Dir.Path() + "prg/";
  TRegistryStore Reg{Dir.File("registry.ini")};
  void SetUp() override {
    for (const auto &D : {Home, Bin, Sys, Prg}) Dir_Force(D);
  }
  TBrowserEnv Env() const {
    TBrowserEnv E;
    E.Home = Home;
    E.ConfigHome = Home + "/.config";
    E.DataHome = Home + "/.local/share";
    E.Path = {Bin};
    E.SysRoot = Sys;
    return E;
  }
  std::vector<std::string> Labels() const {
    std::vector<std::string> Out;
    for (const auto &S : FindBrowsers(Env())) Out.push_back(S.Label());
    return Out;
  }
  // The configuration folders each browser makes when it first runs.
  void EveryBrowserHasRun() {
    for (const char *D :
         {"/.config/chromium", "/.config/google-chrome", "/.config/BraveSoftware/Brave-Browser", "/.config/vivaldi",
          "/.config/microsoft-edge", "/.config/opera", "/.mozilla/firefox", "/.var/app/org.chromium.Chromium/config/chromium",
          "/.var/app/com.google.Chrome", "/.var/app/com.brave.Browser", "/.var/app/com.vivaldi.Vivaldi",
          "/.var/app/com.microsoft.Edge", "/.var/app/com.opera.Opera", "/.var/app/org.mozilla.firefox/.mozilla/firefox"})
      Dir_Force(Home + D);
  }
};

}  // namespace

TEST_F(BrowsersFixture, EachBrowserIsFoundByWhatItLeavesBehind) {
  struct TCase {
    const char *Why;
    std::vector<std::string> Folders;   // below the home
    std::vector<std::string> Programs;  // on the PATH
    std::vector<std::string> System;    // files below the stand-in for "/"
    std::vector<std::string> Want;
  };
  const TCase Cases[] = {
      {"nothing at all", {}, {}, {}, {}},
      {"a native browser's configuration folder",
       {".config/chromium", ".config/BraveSoftware/Brave-Browser", ".config/microsoft-edge"},
       {},
       {},
       {"Chromium", "Brave", "Microsoft Edge"}},
      {"Firefox's old and new folders", {".mozilla"}, {}, {}, {"Firefox"}},
      {"Firefox's XDG folder", {".config/mozilla"}, {}, {}, {"Firefox"}},
      {"a program on the PATH",
       {},
       {"google-chrome-stable", "vivaldi", "opera", "firefox-esr"},
       {},
       {"Google Chrome", "Vivaldi", "Opera", "Firefox"}},
      {"a Flatpak that has run",
       {".var/app/org.chromium.Chromium", ".var/app/org.mozilla.firefox"},
       {},
       {},
       {"Chromium (Flatpak org.chromium.Chromium)", "Firefox (Flatpak org.mozilla.firefox)"}},
      {"a Flatpak installed for the user or the system",
       {".local/share/flatpak/app/com.brave.Browser"},
       {},
       {"var/lib/flatpak/app/com.microsoft.Edge/current"},
       {"Brave (Flatpak com.brave.Browser)", "Microsoft Edge (Flatpak com.microsoft.Edge)"}},
      {"a Snap installed or run", {"snap/firefox"}, {}, {"snap/bin/chromium"}, {"Chromium (Snap)", "Firefox (Snap)"}},
      {"another browser's folder names none of ours", {".config/epiphany", ".var/app/org.gnome.Epiphany"}, {}, {}, {}},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Why);
    fs::remove_all(Home);
    fs::remove_all(Bin);
    fs::remove_all(Sys);
    for (const auto &F : C.Folders) Dir_Force(Home + "/" + F);
    for (const auto &P : C.Programs) Executable(Bin + "/" + P);
    for (const auto &F : C.System) Executable(Sys + "/" + F);
    EXPECT_EQ(Labels(), C.Want);
  }
}

TEST_F(BrowsersFixture, ASnapStarterOnThePathIsNoNativeBrowser) {
  // Ubuntu's "chromium-browser" and "firefox" only start the Snap.
  Executable(Bin + "/chromium-browser", "#!/bin/sh\nexec /snap/bin/chromium \"$@\"\n");
  Executable(Bin + "/firefox", "#!/bin/sh\nexec snap run firefox \"$@\"\n");
  EXPECT_EQ(Labels(), std::vector<std::string>{});
  Executable(Bin + "/firefox-esr", "#!/bin/sh\nexec /usr/lib/firefox-esr/firefox-esr \"$@\"\n");
  EXPECT_EQ(Labels(), std::vector<std::string>{"Firefox"});
}

TEST_F(BrowsersFixture, EachBrowserGetsTheFolderItReadsManifestsFrom) {
  EveryBrowserHasRun();
  Executable(Sys + "/snap/bin/chromium");
  Dir_Force(Home + "/snap/firefox");
  const std::string H = Home;
  const std::map<std::string, std::string> Want = {
      {"Chromium", H + "/.config/chromium/NativeMessagingHosts/"},
      {"Google Chrome", H + "/.config/google-chrome/NativeMessagingHosts/"},
      {"Brave", H + "/.config/BraveSoftware/Brave-Browser/NativeMessagingHosts/"},
      {"Vivaldi", H + "/.config/vivaldi/NativeMessagingHosts/"},
      {"Microsoft Edge", H + "/.config/microsoft-edge/NativeMessagingHosts/"},
      {"Opera", H + "/.config/opera/NativeMessagingHosts/"},
      {"Firefox", H + "/.mozilla/native-messaging-hosts/"},
      {"Chromium (Flatpak org.chromium.Chromium)", H + "/.var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts/"},
      {"Google Chrome (Flatpak com.google.Chrome)", H + "/.var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts/"},
      {"Brave (Flatpak com.brave.Browser)",
       H + "/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/NativeMessagingHosts/"},
      {"Vivaldi (Flatpak com.vivaldi.Vivaldi)", H + "/.var/app/com.vivaldi.Vivaldi/config/vivaldi/NativeMessagingHosts/"},
      {"Microsoft Edge (Flatpak com.microsoft.Edge)",
       H + "/.var/app/com.microsoft.Edge/config/microsoft-edge/NativeMessagingHosts/"},
      {"Opera (Flatpak com.opera.Opera)", H + "/.var/app/com.opera.Opera/config/opera/NativeMessagingHosts/"},
      {"Firefox (Flatpak org.mozilla.firefox)", H + "/.var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts/"},
      // The Firefox Snap asks the desktop's portal, which reads the native folder.
      {"Firefox (Snap)", H + "/.mozilla/native-messaging-hosts/"},
      // A Chromium Snap cannot start the program: nothing is written for it.
      {"Chromium (Snap)", ""},
  };
  std::map<std::string, std::string> Got;
  for (const auto &S : FindBrowsers(Env())) {
    Got[S.Label()] = S.Dir;
    EXPECT_EQ(S.Firefox, S.Browser == "Firefox") << S.Label();
    EXPECT_EQ(S.LauncherDir.empty(), S.Pack != TBrowserPack::Flatpak) << S.Label();
    if (S.Pack == TBrowserPack::Flatpak) {
      EXPECT_EQ(S.LauncherDir, H + "/.var/app/" + S.AppId + "/data/mossgather/");
    }
  }
  EXPECT_EQ(Got, Want);
}

TEST_F(BrowsersFixture, AFlatpakMayLeaveItsSandboxOnlyWhenAllowedInFlatpaksOrder) {
  const std::string App = "org.chromium.Chromium";
  const std::string User = Home + "/.local/share/flatpak/", System = Sys + "/var/lib/flatpak/";
  auto Policy = [](const std::string &V) {
    return "[Context]\nshared=network;\n\n[Session Bus Policy]\norg.freedesktop.Flatpak=" + V + "\n";
  };
  struct TCase {
    const char *Why;
    std::map<std::string, std::string> Files;
    bool Want;
  };
  const TCase Cases[] = {
      {"nothing says so", {}, false},
      {"the user's override of the application", {{User + "overrides/" + App, Policy("talk")}}, true},
      {"the user's global override", {{User + "overrides/global", Policy("talk")}}, true},
      {"the system's override", {{System + "overrides/" + App, Policy("talk")}}, true},
      {"the application's own permissions", {{System + "app/" + App + "/current/active/metadata", Policy("talk")}}, true},
      {"the user's override takes it back from the application",
       {{User + "overrides/" + App, Policy("none")}, {User + "app/" + App + "/current/active/metadata", Policy("talk")}},
       false},
      {"the user's override of the application beats the global one",
       {{User + "overrides/" + App, Policy("talk")}, {User + "overrides/global", Policy("none")}},
       true},
      {"seeing the bus is not talking to it", {{User + "overrides/" + App, Policy("see")}}, false},
      {"another name on the bus",
       {{User + "overrides/" + App, "[Session Bus Policy]\norg.freedesktop.Notifications=talk\n"}},
       false},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Why);
    fs::remove_all(Home + "/.local");
    fs::remove_all(Sys);
    for (const auto &[F, Text] : C.Files) {
      Dir_Force(fs::path(F).parent_path().string());
      WriteFile(F, Text);
    }
    EXPECT_EQ(FlatpakMayLeaveSandbox(Env(), App), C.Want);
  }
  // What the user is told follows from it.
  Dir_Force(Home + "/.var/app/" + App);
  auto Site = FindBrowsers(Env()).at(0);
  EXPECT_FALSE(Site.Ready);
  EXPECT_EQ(Site.Fix, "flatpak override --user --talk-name=org.freedesktop.Flatpak org.chromium.Chromium");
  EXPECT_NE(Site.Note.find("then restart Chromium"), std::string::npos) << Site.Note;
  WriteFile(User + "overrides/" + App, Policy("talk"));
  Site = FindBrowsers(Env()).at(0);
  EXPECT_TRUE(Site.Ready);
  EXPECT_EQ(Site.Fix, "");
  EXPECT_NE(Site.Note.find("flatpak-spawn"), std::string::npos) << Site.Note;
}

TEST_F(BrowsersFixture, ManifestsGoWhereEachBrowserLooksAndRemovingTakesBackExactlyThat) {
  EveryBrowserHasRun();
  // Present by its program alone: its folders do not exist yet.
  fs::remove_all(Home + "/.config/opera");
  Executable(Bin + "/opera");
  const auto Before = Tree(Dir.Path());
  WriteHostManifests(Prg, FindBrowsers(Env()), Reg);
  const auto After = Tree(Dir.Path());

  std::vector<std::string> Manifests;
  for (const auto &P : Added(Before, After))
    if (P.size() > 5 && P.substr(P.size() - 5) == ".json") Manifests.push_back(P);
  EXPECT_EQ(Manifests.size(), 14u) << "7 browsers, native and Flatpak";
  for (const auto &S : FindBrowsers(Env())) {
    SCOPED_TRACE(S.Label());
    QJsonObject M = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(HostManifestFile(S)))).object();
    EXPECT_EQ(M.value("name").toString(), "org.mossgather.picker");
    EXPECT_EQ(M.value("path").toString().toStdString(), SiteLauncherPath(S, Prg));
    QJsonArray Allowed = M.value(S.Firefox ? "allowed_extensions" : "allowed_origins").toArray();
    EXPECT_EQ(Allowed, QJsonArray{S.Firefox ? "picker@mossgather.org" : "chrome-extension://clpjckchdmpkgcenimeglbnciacogkjo/"});
    struct stat St {};
    ASSERT_EQ(::stat(SiteLauncherPath(S, Prg).c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0755u);
    if (S.Pack == TBrowserPack::Flatpak) {
      EXPECT_EQ(ReadFile(SiteLauncherPath(S, Prg)),
                "#!/bin/sh\n# Started by " + S.Label() + " inside its sandbox; Mossgather runs outside it.\n" +
                    "exec flatpak-spawn --host --watch-bus '" + Prg + "mossgather' -Embedding \"$@\"\n");
    }
  }
  EXPECT_EQ(ReadFile(HostLauncherPath(Prg)), "#!/bin/sh\nexec '" + Prg + "mossgather' -Embedding \"$@\"\n");
  // The folders made for the browser that never ran are its user's alone.
  struct stat St {};
  ASSERT_EQ(::stat((Home + "/.config/opera").c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);

  // Writing again changes nothing, not even a file's time.
  auto Stamp = fs::last_write_time(HostLauncherPath(Prg));
  WriteHostManifests(Prg, FindBrowsers(Env()), Reg);
  EXPECT_EQ(Tree(Dir.Path()), After);
  EXPECT_EQ(fs::last_write_time(HostLauncherPath(Prg)), Stamp);

  // A file of the user's in a folder we made keeps that folder.
  const auto Keep = Home + "/.config/opera/NativeMessagingHosts/other.host.json";
  WriteFile(Keep, "{}");
  EXPECT_EQ(RemoveHostManifests(Prg, AllBrowserSites(Env()), Reg), 14 + 7 + 1);
  EXPECT_EQ(Added(Before, Tree(Dir.Path())),
            (std::vector<std::string>{"home/.config/opera", "home/.config/opera/NativeMessagingHosts",
                                      "home/.config/opera/NativeMessagingHosts/other.host.json"}));
  fs::remove_all(Home + "/.config/opera");
  EXPECT_EQ(Tree(Dir.Path()), Before);
  EXPECT_FALSE(Reg.KeyExists(RegKeyHostSetup));
}

TEST_F(BrowsersFixture, NothingIsWrittenForBrowsersNotPresent) {
  Dir_Force(Home + "/.config/vivaldi");
  Dir_Force(Home + "/.var/app/org.mozilla.firefox");
  Executable(Sys + "/snap/bin/brave");
  const auto Before = Tree(Dir.Path());
  WriteHostManifests(Prg, FindBrowsers(Env()), Reg);
  EXPECT_EQ(Added(Before, Tree(Dir.Path())),
            (std::vector<std::string>{
                "home/.config/vivaldi/NativeMessagingHosts",
                "home/.config/vivaldi/NativeMessagingHosts/org.mossgather.picker.json",
                "home/.var/app/org.mozilla.firefox/.mozilla",
                "home/.var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts",
                "home/.var/app/org.mozilla.firefox/.mozilla/native-messaging-hosts/org.mossgather.picker.json",
                "home/.var/app/org.mozilla.firefox/data",
                "home/.var/app/org.mozilla.firefox/data/mossgather",
                "home/.var/app/org.mozilla.firefox/data/mossgather/mossgather-host",
                "prg/mossgather-host",
            }));
}

// The program itself, as the install command and the user run it.
TEST_F(BrowsersFixture, RegServerDoctorAndUnregServerServeEachBrowserOfTheHome) {
  EveryBrowserHasRun();
  Executable(Sys + "/snap/bin/chromium");
  Executable(Prg + "mossgather");
  const std::vector<std::string> Env = {"HOME=" + Home,
                                        "XDG_CONFIG_HOME=" + Home + "/.config",
                                        "XDG_DATA_HOME=" + Home + "/.local/share",
                                        "XDG_RUNTIME_DIR=" + Dir.Path(),
                                        "PATH=" + Bin,
                                        "MOSSGATHER_SYSROOT=" + Sys,
                                        "MOSSGATHER_PRGDIR=" + Prg,
                                        "MOSSGATHER_REGISTRY=" + Dir.File("registry.ini"),
                                        "QT_QPA_PLATFORM=offscreen"};
  auto Run = [&](const std::string &Switch, std::string *Out = nullptr) {
    std::string File = Dir.File("out.txt");
    TProcess P(std::string(MOSSGATHER_BIN_DIR) + "mossgather", {Switch}, Env, File);
    int Rc = -1;
    EXPECT_TRUE(P.Wait(30000, &Rc)) << Switch;
    if (Out) *Out = ReadFile(File);
    std::remove(File.c_str());
    return Rc;
  };
  const auto Before = Tree(Home);
  ASSERT_EQ(Run("-REGSERVER"), 0);
  for (const auto &S : FindBrowsers(TBrowserEnv{Home, Home + "/.config", Home + "/.local/share", {Bin}, Sys}))
    if (!S.Dir.empty()) {
      EXPECT_TRUE(File_Exists(HostManifestFile(S))) << S.Label();
    }

  std::string Doctor;
  Run("-doctor", &Doctor);
  for (const char *Line :
       {"[ OK ] browsers found: 15", "[ OK ] Chromium: host manifest ", "[ OK ] Google Chrome: host manifest ",
        "[ OK ] Brave: host manifest ", "[ OK ] Vivaldi: host manifest ", "[ OK ] Microsoft Edge: host manifest ",
        "[ OK ] Opera: host manifest ", "[ OK ] Firefox: host manifest ",
        "[ OK ] Firefox (Flatpak org.mozilla.firefox): host manifest ",
        "[FAIL] Firefox (Flatpak org.mozilla.firefox) may not start programs outside its sandbox until you allow it",
        "fix: run: flatpak override --user --talk-name=org.freedesktop.Flatpak org.mozilla.firefox",
        "[WARN] Chromium (Snap) cannot start programs outside its sandbox"})
    EXPECT_NE(Doctor.find(Line), std::string::npos) << Line << "\n" << Doctor;

  ASSERT_EQ(Run("-UNREGSERVER"), 0);
  EXPECT_EQ(Tree(Home), Before);
  EXPECT_FALSE(File_Exists(HostLauncherPath(Prg)));
}

TEST_F(BrowsersFixture, TheDoctorSaysSoWhenNoBrowserIsFound) {
  TEnvVar H("HOME", Home), C("XDG_CONFIG_HOME", Home + "/.config"), D("XDG_DATA_HOME", Home + "/.local/share"), P("PATH", Bin),
      S("MOSSGATHER_SYSROOT", Sys), R("MOSSGATHER_REGISTRY", Dir.File("registry.ini")), Run("XDG_RUNTIME_DIR", Dir.Path());
  std::ostringstream Out;
  RunDoctor(Prg, Out);
  EXPECT_NE(Out.str().find("[FAIL] no supported browser found for this user"), std::string::npos) << Out.str();
  EXPECT_NE(Out.str().find("fix: install one and start it once, then run: " + Prg + "mossgather -REGSERVER"), std::string::npos);
}

// The launchers start the light relay when it is installed beside the
// program, and the full program's host when it is missing or cannot run.
TEST_F(BrowsersFixture, TheLaunchersStartTheRelayOnlyWhenItCanRun) {
  TBrowserSite Flatpak;
  Flatpak.Browser = "Firefox";
  Flatpak.Pack = TBrowserPack::Flatpak;
  Flatpak.AppId = "org.mozilla.firefox";
  Flatpak.LauncherDir = Home + "/.var/app/org.mozilla.firefox/data/mossgather/";
  const std::string Relay = "'" + Prg + "mossgather-relay' \"$@\"\n";
  const std::string Full = "'" + Prg + "mossgather' -Embedding \"$@\"\n";
  struct TCase {
    const char *What;
    bool Present;
    mode_t Mode;
    const std::string &Starts;
  };
  for (const TCase &C :
       {TCase{"no relay", false, 0, Full}, TCase{"relay", true, 0755, Relay}, TCase{"relay not executable", true, 0644, Full}}) {
    SCOPED_TRACE(C.What);
    std::remove(HostRelayPath(Prg).c_str());
    if (C.Present) {
      WriteFile(HostRelayPath(Prg),
                "\x7f"
                "ELF");
      ::chmod(HostRelayPath(Prg).c_str(), C.Mode);
    }
    EXPECT_EQ(HostLauncherScript(TBrowserSite{}, Prg), "#!/bin/sh\nexec " + C.Starts);
    const std::string Sandboxed = HostLauncherScript(Flatpak, Prg);
    EXPECT_EQ(Sandboxed.substr(Sandboxed.rfind('\n', Sandboxed.size() - 2) + 1),
              "exec flatpak-spawn --host --watch-bus " + C.Starts);
    // Written at a start, the launcher follows the relay's appearing and going.
    WriteHostManifests(Prg, {}, Reg);
    EXPECT_EQ(ReadFile(HostLauncherPath(Prg)), "#!/bin/sh\nexec " + C.Starts);
  }
}
