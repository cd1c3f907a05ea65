#pragma once
// A stand-in for the windows around the job controller: it records tips,
// answers message boxes, and plays a small editor that hands over a given
// file list.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "jobs/Unit_JobCntl.h"
#include "jobs/uDwnldThd.h"
#include "platform/TMainThread.h"
#include "pub/Unit_Log.h"
#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TJobWait.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

struct TTip {
  std::string Msg, Sec;
  int Kind;
};

class TTestHost : public TJobHost {
 public:
  std::vector<TTip> Tips;
  std::vector<std::string> Boxes;
  bool BoxAnswer = true;
  bool EditShowing = false, EditClosing = false;
  int ToFrontCalls = 0, CancelPresses = 0, Changes = 0;
  bool HasEditor = true;
  std::vector<int> Started;  // job ids the editor was started for
  std::vector<int> Warmed;   // the job kinds warmed for, in order
  TJobRec *Editing = nullptr;

  void TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind) override { Tips.push_back({Msg, SecMsg, Kind}); }
  bool MsgBox(const std::string &Text, int) override {
    Boxes.push_back(Text);
    return BoxAnswer;
  }
  bool EditWindowShowing() override { return EditShowing; }
  bool EditWindowClosing() override { return EditClosing; }
  TJobRec *EditJob() override { return Editing; }
  void EditWindowToFront() override { ++ToFrontCalls; }
  void PressEditCancel() override { ++CancelPresses; }
  void ChooseEditor(uint8_t) override {}
  void StartEditor(const PJobRec &Job) override {
    if (!HasEditor) throw EMossError("No editor for this kind of job");
    Editing = Job.get();
    Job->State = jsEditing;
    EditShowing = true;
    Started.push_back(Job->JobId);
  }
  void RememberForeground() override {}
  void WarmUp(uint8_t Kind) override { Warmed.push_back(Kind); }
  bool StartFailed() override { return InitFailed; }
  int32_t NextJobId() override { return ++GParm.iTot_Job_Cnt; }
  bool TipOnComplete() override { return GParm.bMsg_Cmplt; }
};

// Everything a controller test needs: a temporary folder, a log, the
// controller with its test host, the settings record reset.
struct JobFixture : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  TTestHost Host;
  std::unique_ptr<TJobCtrl> Ctrl;

  void SetUp() override;
  void TearDown() override;

  // A request as the browser's entry sends it.
  bool Request(uint8_t PickCode, const TSnapshotBuilder &Page = TSnapshotBuilder());
  // Opens the newest job through the edit timer.
  PJobRec OpenNewest();
  // The editor's Save: the file list handed over, jsEdited, Flow_Sav_Beg.
  PJobRec Edit(const std::vector<std::pair<std::string, std::string>> &Files, uint8_t PickCode = pcAllImages,
               const TSnapshotBuilder &Page = TSnapshotBuilder());
  void Save(const PJobRec &Job);
  bool WaitEnd(const PJobRec &Job, int Ms = 20000);
  std::string LogText();
};
