#pragma once
// The program controller: builds every module in a fixed order when the
// main window first shows, decides whether the program may close, and tears
// everything down in a fixed order at the end.
#include <atomic>
#include <memory>
#include <string>

class TIniFile;
class TJobHostUi;
class TMainForm;

class TMPC {
 public:
  TMPC();
  ~TMPC();

  // Hangs the program's start on Main's first showing, the exit question on
  // its close and the teardown on its end. The program entry and the tests
  // call it once for each main window they make.
  void Connect(TMainForm &Main);

  void DO_SYSTEM_INIT();
  bool ALLOW_EXIT_SYSTEM();
  void DO_SYSTEM_EXIT();

  void LoadGParmFrFl();
  void SavParmToFl();
  std::string GetTempFile();

  TIniFile *FIniFile() const { return FIni.get(); }
  // The step of DO_SYSTEM_INIT in progress, or the last one reached.
  const std::string &InitStep() const { return FStep; }

  // Set when the close cannot be answered by anyone (a signal, the session
  // ending): an unfinished job then does not hold the program.
  std::atomic<bool> ExitUnattended{false};

  // Test hooks: the named step of DO_SYSTEM_INIT (or of DO_SYSTEM_EXIT:
  // "CanAllJobs", "SavParmToFl", "ClearVars", or a module's name for
  // FreeModules) fails when reached.
  static std::string FaultStep;

 private:
  void Step(const char *Name);
  void InitVars();
  void CrtMods();
  void FreeModules();
  void ClearVars();

  std::unique_ptr<TIniFile> FIni;
  std::unique_ptr<TJobHostUi> FJobHost;
  std::string FStep;
  bool FParmLoaded = false;
};

extern TMPC MPC;
