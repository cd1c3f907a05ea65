#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/TChannelClient.h"
#include "platform/TRegistryStore.h"
#include "pub/Unit_Pub.h"
#include "pub/uRegional.h"
#include "support/TDesktop.h"
#include "support/TProcess.h"
#include "support/TScriptHttpServer.h"
#include "support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point T) { return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - T).count(); }

// A user's world in a temporary folder: program folder, config, runtime.
struct ProgramFixture : ::testing::Test {
  TTempDir Root;
  std::string Prg = Root.Path() + "prg/";
  std::vector<std::string> Env;

  void SetUp() override {
    Dir_Force(Prg);
    Dir_Force(Root.Path() + "cfg");
    Dir_Force(Root.Path() + "run");
    Dir_Force(Root.Path() + "home");
    Env = {"MOSSGATHER_PRGDIR=" + Prg,
           "XDG_CONFIG_HOME=" + Root.Path() + "cfg",
           "XDG_RUNTIME_DIR=" + Root.Path() + "run",
           "XDG_CACHE_HOME=" + Root.Path() + "cache",
           "HOME=" + Root.Path() + "home",
           "QT_QPA_PLATFORM=offscreen",
           "MOSSGATHER_UPDHOST="};  // no test asks the real web site
  }

  std::string Sock() const { return Root.Path() + "run/mossgather/Mossgather 0.12.sock"; }

  std::unique_ptr<TProcess> Start(std::vector<std::string> Args = {"-RealStr"}) {
    return std::make_unique<TProcess>(MOSSGATHER_EXE, Args, Env, Root.Path() + "out.txt");
  }

  // Waits until the copy answers on its channel with its start finished.
  // Patient: a start on a busy machine may take long; this waits for the
  // answer, it measures nothing.
  bool Ready(int Ms = 60000) {
    return WaitFor(
        [&] {
          std::string Reply;
          return Channel_Request(Sock(), R"({"method":"Ping"})", Reply, 500) && Reply.find("\"sysState\":1") != std::string::npos;
        },
        Ms);
  }

  void Stop(TProcess &P) {
    P.Signal(SIGTERM);
    int Code = -1;
    ASSERT_TRUE(P.Wait(60000, &Code)) << "did not end on SIGTERM";
    EXPECT_EQ(Code, 0);
  }

  // Starts, waits for the start to finish, ends by SIGTERM.
  void RunOnce() {
    auto P = Start();
    ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
    Stop(*P);
  }

  std::string Cfg() { return ReadFile(Prg + "cfg.ini"); }
  std::string Log() { return ReadFile(Prg + "log.txt"); }
  int Count(const std::string &Text, const std::string &What) {
    int N = 0;
    for (size_t P = 0; (P = Text.find(What, P)) != std::string::npos; ++P) ++N;
    return N;
  }
  void InstallAs(const std::string &Exe) {
    TRegistryStore(Root.Path() + "cfg/mossgather/registry.ini").WriteString("Software\\Mossgather\\", "CurExeFile", Exe);
  }
};

}  // namespace

TEST_F(ProgramFixture, NoSettingsFileGivesTheDefaultsAndExitWritesThem) {
  RunOnce();
  std::string C = Cfg();
  EXPECT_NE(C.find("sDir_Def_Txt=" + Root.Path() + "home/Save/Text\n"), std::string::npos) << C;
  EXPECT_NE(C.find("iChkCyc=14\n"), std::string::npos);
  EXPECT_NE(C.find("bMsg_Cmplt=1\n"), std::string::npos);
  EXPECT_NE(C.find("bVw_JDtl_Vis=1\n"), std::string::npos);
  EXPECT_NE(C.find("bImg_Sort_Siz_Des=1\n"), std::string::npos);
  EXPECT_NE(C.find("bImg_Flt_IgnTiny=1\nbImg_Flt_IgnBar=1\n"), std::string::npos);
}

TEST_F(ProgramFixture, NineBytesAreAFirstRunAndTenAreNot) {
  // A first run centres the window on the screen; a later one takes the
  // saved bounds (none here, so the top-left corner).
  WriteFile(Prg + "cfg.ini", "[Global]\n");  // 9 bytes
  RunOnce();
  EXPECT_EQ(Cfg().find("iVw_MFrm_L=0\n"), std::string::npos) << Cfg();
  WriteFile(Prg + "cfg.ini", "[Global]\n\n");  // 10 bytes
  RunOnce();
  EXPECT_NE(Cfg().find("iVw_MFrm_L=0\n"), std::string::npos) << Cfg();
}

TEST_F(ProgramFixture, ValuesSurviveARunInTheirOwnForm) {
  WriteFile(Prg + "cfg.ini", "[Global]\niTot_Job_Cnt=41\nMyHandKey=hello\niChkCyc=3\n[JEP]\nImg_Flt_Typ=259\n[Mine]\nfoo=bar\n");
  RunOnce();
  std::string C = Cfg();
  EXPECT_NE(C.find("iTot_Job_Cnt=41\n"), std::string::npos);
  EXPECT_NE(C.find("iChkCyc=3\n"), std::string::npos);
  EXPECT_NE(C.find("Img_Flt_Typ=3\n"), std::string::npos);
  EXPECT_EQ(C.find("MyHandKey"), std::string::npos);
  EXPECT_EQ(C.find("[Mine]"), std::string::npos);
}

TEST_F(ProgramFixture, ABadCheckDateStartsNormallyAndKeepsEveryKey) {
  WriteFile(Prg + "cfg.ini", "[Global]\ndChkDate=someday\niTot_Job_Cnt=9\niVw_EFrm_H=321\n[JEP]\nbTxt_Rmv_Scrp=1\n");
  RunOnce();
  std::string C = Cfg(), L = Log();
  EXPECT_NE(C.find("iTot_Job_Cnt=9\n"), std::string::npos);
  EXPECT_NE(C.find("iVw_EFrm_H=321\n"), std::string::npos);
  EXPECT_NE(C.find("bTxt_Rmv_Scrp=1\n"), std::string::npos);
  EXPECT_EQ(C.find("dChkDate=1899-12-30"), std::string::npos);
  EXPECT_EQ(Count(L, "[Error]"), 1) << L;
  EXPECT_NE(L.find("'someday' is not a valid date"), std::string::npos);
  EXPECT_EQ(L.find("[Fatal]"), std::string::npos);
}

TEST_F(ProgramFixture, ASettingsFileTooLargeToReadIsKeptAndTheReasonLogged) {
  const std::string Cfg0 = "[Global]\niTot_Job_Cnt=41\n" + std::string(17u << 20, ' ') + "\n";
  WriteFile(Prg + "cfg.ini", Cfg0);
  RunOnce();
  EXPECT_TRUE(Cfg() == Cfg0) << "cfg.ini was written over; it now has " << Cfg().size() << " bytes";
  std::string L = Log();
  EXPECT_NE(L.find("cfg.ini could not be read; defaults are used and the file is kept"), std::string::npos) << L;
  EXPECT_NE(L.find("larger than"), std::string::npos) << L;
  EXPECT_NE(L.find("Fail to save parameters to file!"), std::string::npos) << L;
}

TEST_F(ProgramFixture, ALongSettingsFileIsReadWholeWithoutDelay) {
  // Some hundred thousand lines of keys and sections this program does not
  // know, with its own keys after them: all read, the program's own keys
  // found behind them and the unknown ones not written back.
  std::string Text = "[Global]\n";
  for (int I = 0; I < 150000; ++I) Text += Format("k%06d=%d\n", {I, I});
  for (int I = 0; I < 50000; ++I) Text += Format("[x%05d]\nv=1\n", {I});
  Text += "[global]\niTot_Job_Cnt=41\n[JEP]\nImg_Flt_Typ=2\n";
  WriteFile(Prg + "cfg.ini", Text);
  RunOnce();
  std::string C = Cfg();
  EXPECT_NE(C.find("iTot_Job_Cnt=41\n"), std::string::npos) << C.substr(0, 2000);
  EXPECT_NE(C.find("Img_Flt_Typ=2\n"), std::string::npos);
  EXPECT_EQ(C.find("k000000"), std::string::npos);
}

TEST_F(ProgramFixture, TheChannelOutlivesAsManyIdleConnectionsAsDescriptorsAllow) {
  auto P = Start();
  ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
  // A few descriptors to spare, far fewer than the connections below.
  int Open = 0;
  for ([[maybe_unused]] const auto &E : std::filesystem::directory_iterator("/proc/" + std::to_string(P->Pid()) + "/fd")) ++Open;
  rlimit Lim{static_cast<rlim_t>(Open + 32), static_cast<rlim_t>(Open + 32)};
  ASSERT_EQ(::prlimit(P->Pid(), RLIMIT_NOFILE, &Lim, nullptr), 0);
  std::vector<int> Conns;
  int Failed = 0;
  for (int I = 0; I < 300; ++I) {
    int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(Fd, 0);
    sockaddr_un A{};
    A.sun_family = AF_UNIX;
    std::strcpy(A.sun_path, Sock().c_str());
    if (::connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0) {
      Conns.push_back(Fd);
    } else {
      ++Failed;
      ::close(Fd);
    }
  }
  EXPECT_EQ(Failed, 0) << "the channel's socket went away";
  // Every connection is either taken or refused before they all go.
  EXPECT_TRUE(WaitFor(
      [&] {
        size_t Ended = 0;
        for (int Fd : Conns) {
          char B[256];
          ssize_t N;
          while ((N = ::recv(Fd, B, sizeof B, MSG_DONTWAIT)) > 0) {
          }
          Ended += N == 0;
        }
        return Ended + 16 >= Conns.size();
      },
      10000));
  for (int Fd : Conns) ::close(Fd);
  EXPECT_TRUE(Ready()) << "the channel did not answer after the connections closed";
  std::string L;
  WaitFor([&] { return (L = Log()).find("Refused a channel client") != std::string::npos; }, 5000);
  Stop(*P);
  L = Log();
  EXPECT_NE(L.find("Refused a channel client"), std::string::npos) << L;
  EXPECT_NE(L.find("too many clients at once"), std::string::npos) << L;
}

TEST_F(ProgramFixture, ASecondCopyWakesTheFirstAndEnds) {
  auto First = Start();
  ASSERT_TRUE(Ready());
  auto T0 = Clock::now();
  auto Second = Start();
  int Code = -1;
  // A second is usual; the wait is only a guard against a copy that hangs.
  ASSERT_TRUE(Second->Wait(60000, &Code)) << "the second copy never ended";
  std::printf("second copy ended after %lld ms\n", MsSince(T0));
  EXPECT_EQ(Code, 0);
  Stop(*First);
  EXPECT_EQ(Count(Log(), "[WakeUpMsg]"), 1);
}

TEST_F(ProgramFixture, ALauncherStartsTheInstalledCopyAndEndsAfterItsPause) {
  InstallAs(MOSSGATHER_EXE);
  auto First = Start();
  ASSERT_TRUE(Ready());
  // A plain start, a first parameter in the wrong case, and "-RealStr" in
  // second place are all launcher starts.
  std::vector<std::vector<std::string>> Starts = {{}, {"-realstr"}, {"x", "-RealStr"}};
  for (const auto &Args : Starts) {
    auto T0 = Clock::now();
    auto L = Start(Args);
    int Code = -1;
    ASSERT_TRUE(L->Wait(60000, &Code));
    long long Ms = MsSince(T0);
    std::printf("launcher (%zu args) ended after %lld ms\n", Args.size(), Ms);
    EXPECT_EQ(Code, 0);
    EXPECT_GE(Ms, 1450);
  }
  // Each launcher's installed copy found the first and woke it.
  EXPECT_TRUE(WaitFor([&] { return true; }, 0));
  Stop(*First);
  EXPECT_EQ(Count(Log(), "[WakeUpMsg]"), 3) << Log();
}

TEST_F(ProgramFixture, ScratchFilesGoAtExit) {
  Dir_Force(Prg + "txtmp");
  WriteFile(Prg + "txtmp/#tmp_0.html", "x");
  WriteFile(Prg + "txtmp/#tmp_1.html", "x");
  RunOnce();
  EXPECT_FALSE(File_Exists(Prg + "txtmp/#tmp_0.html"));
  EXPECT_FALSE(File_Exists(Prg + "txtmp/#tmp_1.html"));
  EXPECT_TRUE(Dir_Exists(Prg + "txtmp"));
}

TEST_F(ProgramFixture, SigIntAndSigHupCloseThroughTheNormalPath) {
  for (int Sig : {SIGINT, SIGHUP}) {
    std::remove((Prg + "cfg.ini").c_str());
    auto P = Start();
    ASSERT_TRUE(Ready());
    P->Signal(Sig);
    int Code = -1;
    ASSERT_TRUE(P->Wait(60000, &Code));
    EXPECT_EQ(Code, 0);
    EXPECT_TRUE(File_Exists(Prg + "cfg.ini")) << Sig;
  }
}

// The update check runs on the main window's 8-second timer, so these wait
// for its first tick.
TEST_F(ProgramFixture, TheTimerAsksTheUpdateSiteAndMovesTheNextCheckByTheCycle) {
  TScriptHttpServer Srv;
  Srv.On("/upd/updpgm.txt", TScriptHttpServer::Response("200 OK", "0.14\r\nhttps://mossgather.org/en/v014.html\r\n"));
  WriteFile(Prg + "cfg.ini", "[Global]\niChkCyc=5\ndChkDate=2020-01-01\nsUpdHost=" + Srv.Url("") + "\n");
  auto P = Start();
  ASSERT_TRUE(Ready());
  ASSERT_TRUE(Srv.WaitRequests(1, 60000)) << "no update check came from the timer";
  EXPECT_EQ(Srv.Targets(), std::vector<std::string>{"/upd/updpgm.txt"});
  // A newer version is published: the program may be showing its question
  // now, and ends through its normal close all the same.
  Stop(*P);
  std::string C = Cfg();
  EXPECT_NE(C.find("dChkDate=" + DateToStr(Date() + 5) + "\n"), std::string::npos) << C;
  EXPECT_NE(C.find("iChkCyc=5\n"), std::string::npos) << C;
  EXPECT_NE(C.find("sUpdHost=" + Srv.Url("") + "\n"), std::string::npos) << C;
  EXPECT_EQ(Srv.Requests().size(), 1u);
}

TEST_F(ProgramFixture, AnUpdateSiteThatNeverAnswersLeavesTheProgramAnsweringAndEnding) {
  TScriptHttpServer Srv;
  Srv.On("/upd/updpgm.txt", TScript{TScriptStep::Stall()});
  WriteFile(Prg + "cfg.ini", "[Global]\niChkCyc=3\ndChkDate=2020-01-01\nsUpdHost=" + Srv.Url("") + "\n");
  auto P = Start();
  ASSERT_TRUE(Ready());
  ASSERT_TRUE(Srv.WaitRequests(1, 60000)) << "no update check came from the timer";
  // The main thread, which serves the channel, is not waiting for the site.
  std::string Reply;
  ASSERT_TRUE(Channel_Request(Sock(), R"({"method":"Ping"})", Reply, 5000)) << "the program stopped answering";
  EXPECT_NE(Reply.find("\"sysState\":1"), std::string::npos) << Reply;
  Stop(*P);  // the download still waits; the end stops it
  EXPECT_NE(Cfg().find("dChkDate=" + DateToStr(Date() + 3) + "\n"), std::string::npos) << Cfg();
}

namespace {

// The names of Pid's child processes.
std::vector<std::string> Children(pid_t Pid) {
  std::vector<std::string> Out;
  for (const auto &E : std::filesystem::directory_iterator("/proc")) {
    std::string Stat = ReadFile(E.path().string() + "/stat");
    // "pid (name) state ppid ...": the name may hold spaces and brackets.
    size_t Open = Stat.find('('), Close = Stat.rfind(')');
    if (Open == std::string::npos || Close == std::string::npos) continue;
    int Ppid = 0;
    char State = 0;
    if (std::sscanf(Stat.c_str() + Close + 1, " %c %d", &State, &Ppid) == 2 && Ppid == Pid)
      Out.push_back(Stat.substr(Open + 1, Close - Open - 1));
  }
  return Out;
}

}  // namespace

// A copy waiting for the browser holds no web engine: its libraries and
// helper processes come with the first preview.
TEST_F(ProgramFixture, AStartedCopyLoadsNoWebEngine) {
  auto P = Start();
  ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
  std::vector<std::string> Kids = Children(P->Pid());
  for (const auto &K : Kids) EXPECT_EQ(K.find("WebEngine"), std::string::npos) << K;
  const std::string Maps = ReadFile("/proc/" + std::to_string(P->Pid()) + "/maps");
  ASSERT_NE(Maps.find("libQt6Widgets"), std::string::npos) << Maps;
  EXPECT_EQ(Maps.find("WebEngine"), std::string::npos);
  EXPECT_EQ(Maps.find("mosspreview"), std::string::npos);
  EXPECT_EQ(Maps.find("libQt6Quick"), std::string::npos);
  Stop(*P);
}

// Closed by its window manager: with the tray the copy and its channel go
// on and a second start brings the window back; without, it ends and writes
// its settings. A signal ends it either way.
TEST_F(ProgramFixture, ClosingTheWindowKeepsTheCopyInTheTrayOrEndsIt) {
  TDesktop Desk;
  if (!Desk.Running()) GTEST_SKIP() << Desk.Error();
  for (auto &E : Env)
    if (E.rfind("QT_QPA_PLATFORM=", 0) == 0) E = "QT_QPA_PLATFORM=xcb";
  Env.push_back("DISPLAY=" + Desk.Display());
  Env.push_back("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu");
  Env.push_back("QTWEBENGINE_DISABLE_SANDBOX=1");
  Env.push_back("MOSSGATHER_TRAY=1");
  // A close that comes while the window is still being laid out at start
  // can go unseen, as a user's first click may; the close is asked again
  // until the window is gone.
  auto CloseMain = [&](TProcess &P) {
    std::string Main = Desk.WaitWindow("Mossgather 0.12", 30000);
    if (Main.empty()) return false;
    return WaitFor(
        [&] {
          Desk.Close(Main);
          return P.Wait(0) || Desk.WaitNoWindow("Mossgather 0.12", 1000);
        },
        30000);
  };
  {
    auto P = Start();
    ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
    ASSERT_TRUE(CloseMain(*P)) << "the main window did not go";
    EXPECT_FALSE(P->Wait(0)) << "the program ended";
    EXPECT_TRUE(Ready()) << "the channel stopped answering";
    auto Second = Start();
    int Code = -1;
    ASSERT_TRUE(Second->Wait(60000, &Code)) << "the second copy did not end";
    EXPECT_FALSE(Desk.WaitWindow("Mossgather 0.12", 30000).empty()) << "the window did not come back";
    Stop(*P);
    EXPECT_NE(Cfg().find("bTrayIcon=1\n"), std::string::npos) << Cfg();
  }
  std::remove((Prg + "cfg.ini").c_str());
  Env.back() = "MOSSGATHER_TRAY=0";
  auto P = Start();
  ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
  ASSERT_TRUE(CloseMain(*P)) << "the main window did not go";
  int Code = -1;
  ASSERT_TRUE(P->Wait(30000, &Code)) << "closing without a tray did not end the program";
  EXPECT_EQ(Code, 0);
  EXPECT_NE(Cfg().find("bTrayIcon=1\n"), std::string::npos) << Cfg();
}

// The options dialog driven with the keyboard on a desktop of the test's
// own, as a user would; the values reach cfg.ini when the program ends.
TEST_F(ProgramFixture, OptionsSavedInTheDialogReachCfgIniAtExit) {
  TDesktop Desk;
  if (!Desk.Running()) GTEST_SKIP() << Desk.Error();
  for (auto &E : Env)
    if (E.rfind("QT_QPA_PLATFORM=", 0) == 0) E = "QT_QPA_PLATFORM=xcb";
  Env.push_back("DISPLAY=" + Desk.Display());
  Env.push_back("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu");
  Env.push_back("QTWEBENGINE_DISABLE_SANDBOX=1");
  const std::string Typed = Root.Path() + "no such folder/typed by hand";
  auto P = Start();
  ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
  std::string Main = Desk.WaitWindow("Mossgather 0.12", 30000);
  ASSERT_FALSE(Main.empty()) << "the main window did not show";
  Desk.Keys(Main, {"alt+t", "Return"});  // Tools > Options...
  std::string Opt = Desk.WaitWindow("Options", 30000);
  ASSERT_FALSE(Opt.empty()) << "the options window did not show";
  // Nothing has the focus: Tab reaches the tabs, then the rename choices
  // ("Down" picks "Auto rename"), the completion tip (untick), the default
  // folder (typed over); Enter saves.
  Desk.Keys(Opt, {"Tab", "Tab", "Down", "Tab", "space", "Tab", "ctrl+a"});
  Desk.Type(Opt, Typed);
  Desk.Keys(Opt, {"Return"});
  ASSERT_TRUE(Desk.WaitNoWindow("Options", 30000)) << "Enter did not close the options window";
  // A second visit changed and left with Esc stores nothing.
  Desk.Keys(Main, {"alt+t", "Return"});
  Opt = Desk.WaitWindow("Options", 30000);
  ASSERT_FALSE(Opt.empty()) << "the options window did not show again";
  Desk.Keys(Opt, {"Tab", "Tab", "Up", "Tab", "space", "Escape"});
  ASSERT_TRUE(Desk.WaitNoWindow("Options", 30000)) << "Esc did not close the options window";
  Stop(*P);
  std::string C = Cfg();
  EXPECT_NE(C.find("bFlAtRenam=1\n"), std::string::npos) << C;
  EXPECT_NE(C.find("bMsg_Cmplt=0\n"), std::string::npos) << C;
  EXPECT_NE(C.find("sDir_Def=" + Typed + "\n"), std::string::npos) << C;
  EXPECT_FALSE(Dir_Exists(Root.Path() + "no such folder"));
}

TEST_F(ProgramFixture, TheExtensionHearsWhetherToScrollThroughAPageBeforeSavingAllPictures) {
  for (const char *Ini : {"", "[JEP]\nbImg_LazyScroll=0\n"}) {
    WriteFile(Prg + "cfg.ini", Ini);
    auto P = Start();
    ASSERT_TRUE(Ready()) << ReadFile(Root.Path() + "out.txt");
    std::string Reply;
    ASSERT_TRUE(Channel_Request(Sock(), R"({"method":"GetOptions"})", Reply, 5000));
    EXPECT_EQ(Reply, *Ini ? R"({"lazyScroll":false,"status":0})" : R"({"lazyScroll":true,"status":0})") << Ini;
    Stop(*P);
  }
}
