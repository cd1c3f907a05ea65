#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <initializer_list>
#include <sstream>

#include "control/uDoctor.h"
#include "control/uHostManifest.h"
#include "control/uIEMenu.h"
#include "platform/TIniFile.h"
#include "platform/TRegistryStore.h"
#include "platform/TUrlCache.h"
#include "pub/Unit_Pub.h"
#include "support/TestSupport.h"

namespace {
// A program folder with the five entry scripts, a key store and a home of its own.
struct SetupFixture : ::testing::Test {
  TTempDir Dir;
  std::string Prg = Dir.Path() + "prg/";
  TRegistryStore Reg{Dir.File("registry.ini")};
  std::string OldHome = std::getenv("HOME") ? std::getenv("HOME") : "/root";
  std::string OldPath = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  void SetUp() override {
    Dir_Force(Prg + "IEMenu");
    for (const auto &M : IEMenuItems) WriteFile(Prg + "IEMenu/" + M.Script, "// entry");
    WriteFile(Prg + "IEMenu/manifest.json", "{}");
    WriteFile(Prg + "IEMenu/background.js", "");
    ::setenv("MOSSGATHER_REGISTRY", Dir.File("registry.ini").c_str(), 1);
    ::setenv("HOME", Dir.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (Dir.Path() + "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", Dir.Path().c_str(), 1);
    // Chromium, Google Chrome and Firefox have run for this user; no other
    // browser is found.
    for (const char *D : {"config/chromium", "config/google-chrome", ".mozilla"}) Dir_Force(Dir.Path() + D);
    Dir_Force(Dir.Path() + "bin");
    ::setenv("PATH", (Dir.Path() + "bin").c_str(), 1);
  }
  // A program folder as the install leaves it: Executables, the help pages,
  // the installed copy recorded and the menu entries registered.
  void InstallProgram(std::initializer_list<const char *> Executables) {
    for (const char *F : Executables) {
      WriteFile(Prg + F, "#!/bin/sh\n");
      ::chmod((Prg + F).c_str(), 0755);
    }
    Dir_Force(Prg + "Help");
    Dir_Force(Prg + "help");
    WriteFile(Prg + "Help/introduction.htm", "x");
    WriteFile(Prg + "help/use.htm", "x");
    Reg.WriteString("Software\\Mossgather\\", "CurExeFile", Prg + "mossgather");
    RegIEMenu(Prg, Reg);
  }
  void TearDown() override {
    ::unsetenv("MOSSGATHER_REGISTRY");
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("HOME", OldHome.c_str(), 1);
    ::setenv("PATH", OldPath.c_str(), 1);
  }
};
}  // namespace

TEST_F(SetupFixture, RegisteringWritesTheFiveKeysOnceWhateverHowOften) {
  RegIEMenu(Prg, Reg);
  RegIEMenu(Prg, Reg);
  Reg.WriteString(std::string(RegKeyMenuExt) + "Other program", "", "/x/other.htm");
  auto Menus = RegisteredMenus(Reg);
  ASSERT_EQ(Menus.size(), 5u);
  EXPECT_EQ(Reg.SubKeys(RegKeyMenuExt).size(), 6u);  // another program's key stays
  const char *Methods[] = {"SaveSnippet", "SaveFullPage", "SaveOneImg", "SaveImages", "SaveFlash"};
  const int DispIds[] = {3, 4, 2, 5, 1};
  for (size_t I = 0; I < 5; ++I) {
    EXPECT_EQ(Menus[I].Title, IEMenuItems[I].Title);
    EXPECT_EQ(Menus[I].Contexts, IEMenuItems[I].Contexts);
    EXPECT_EQ(Menus[I].Method, Methods[I]);
    EXPECT_EQ(Menus[I].DispId, DispIds[I]);
    std::string Script;
    ASSERT_TRUE(Reg.ReadString(std::string(RegKeyMenuExt) + IEMenuItems[I].Title, "", Script));
    EXPECT_EQ(Script, Prg + "IEMenu/" + IEMenuItems[I].Script);
  }
  EXPECT_EQ(MenuContexts(0x31), (std::vector<std::string>{"page", "selection", "link"}));
  EXPECT_EQ(MenuContexts(0x02), (std::vector<std::string>{"image"}));
}

TEST_F(SetupFixture, AMissingScriptRegistersNothing) {
  std::remove((Prg + "IEMenu/Img_All.js").c_str());
  try {
    RegIEMenu(Prg, Reg);
    FAIL() << "registered without Img_All.js";
  } catch (const EMossError &E) {
    EXPECT_STREQ(E.what(), "Can not find script files, please reinstall this program!");
  }
  EXPECT_TRUE(Reg.SubKeys(RegKeyMenuExt).empty());
}

TEST_F(SetupFixture, ClearingTheCacheRemovesEveryEntryAndCopesWithNone) {
  TUrlCache Cache(Dir.File("cache/"));
  ClrIECache(Cache);  // nothing there
  Cache.Store("http://h.test/a.png", "a");
  Cache.Store("http://h.test/b.gif?x=1", "b");
  ClrIECache(Cache);
  EXPECT_TRUE(Cache.Entries().empty());
  EXPECT_EQ(Cache.LocalFile("http://h.test/a.png"), "");
}

TEST_F(SetupFixture, TheDoctorNamesABrokenManifestAndAMissingFileWithTheirFixes) {
  InstallProgram({"mossgather"});
  const auto Sites = FindBrowsers(TBrowserEnv::FromEnvironment());
  ASSERT_EQ(Sites.size(), 3u);
  WriteHostManifests(Prg, Sites, Reg);
  {
    std::ostringstream Out;
    EXPECT_EQ(RunDoctor(Prg, Out), 0) << Out.str();
    EXPECT_NE(Out.str().find("All checks passed."), std::string::npos);
  }
  WriteFile(HostManifestFile(Sites[1]), "{ not json");
  std::remove((Prg + "IEMenu/Flash.js").c_str());
  std::ostringstream Out;
  EXPECT_EQ(RunDoctor(Prg, Out), 2);
  std::string S = Out.str();
  EXPECT_NE(S.find("[FAIL] Google Chrome: host manifest " + HostManifestFile(Sites[1]) + ": not valid JSON"), std::string::npos)
      << S;
  EXPECT_NE(S.find("fix: run: " + Prg + "mossgather -REGSERVER"), std::string::npos);
  EXPECT_NE(S.find("[FAIL] browser extension files in " + Prg + "IEMenu/: missing Flash.js"), std::string::npos);
  EXPECT_NE(S.find("fix: run ./scripts/install.sh again, then reload the extension"), std::string::npos);
  EXPECT_NE(S.find("[ OK ] Chromium: host manifest"), std::string::npos);
  EXPECT_NE(S.find("[ OK ] Firefox: host manifest"), std::string::npos);
}

// With the relay installed the launcher starts it, and the doctor says so;
// a launcher naming a relay that has gone since is reported with its fix.
TEST_F(SetupFixture, TheDoctorTellsWhichHostTheLauncherStarts) {
  InstallProgram({"mossgather", "mossgather-relay"});
  WriteHostManifests(Prg, FindBrowsers(TBrowserEnv::FromEnvironment()), Reg);
  {
    std::ostringstream Out;
    EXPECT_EQ(RunDoctor(Prg, Out), 0) << Out.str();
    EXPECT_NE(
        Out.str().find("[ OK ] native-messaging launcher " + HostLauncherPath(Prg) + " starts " + Prg + "mossgather-relay\n"),
        std::string::npos)
        << Out.str();
  }
  std::remove((Prg + "mossgather-relay").c_str());
  std::ostringstream Out;
  EXPECT_EQ(RunDoctor(Prg, Out), 1) << Out.str();
  EXPECT_NE(Out.str().find("[FAIL] native-messaging launcher " + HostLauncherPath(Prg) + " is missing or does not start " + Prg +
                           "mossgather -Embedding\n       fix: run: " + Prg + "mossgather -REGSERVER"),
            std::string::npos)
      << Out.str();
  // Written again, as the next start does, it is sound.
  WriteHostManifests(Prg, FindBrowsers(TBrowserEnv::FromEnvironment()), Reg);
  std::ostringstream Again;
  EXPECT_EQ(RunDoctor(Prg, Again), 0) << Again.str();
}
