#include "support/JobTestHost.h"

#include <gtest/gtest.h>

void JobFixture::SetUp() {
  SetLogger(&Log);
  GParm = TGlobalParm();
  InitFailed = false;
  SysState = 1;
  Ctrl = std::make_unique<TJobCtrl>(Host);
  QObject::connect(Ctrl.get(), &TJobCtrl::JobChanged, [this](const PJobRec &) { ++Host.Changes; });
}

void JobFixture::TearDown() {
  Ctrl.reset();  // finishes every worker before the jobs go
  SetLogger(nullptr);
}

bool JobFixture::Request(uint8_t PickCode, const TSnapshotBuilder &Page) {
  TPageSnapshot S = Page.Parse();
  return Ctrl->Flow_Begin(S.Window(), PickCode, S.Element());
}

PJobRec JobFixture::OpenNewest() {
  size_t Before = Host.Started.size();
  Spin([&] { return Host.Started.size() > Before || !Ctrl->EditTimer().isActive(); });
  return Ctrl->JobList().empty() ? nullptr : Ctrl->JobList().back();
}

PJobRec JobFixture::Edit(const std::vector<std::pair<std::string, std::string>> &Files, uint8_t PickCode,
                         const TSnapshotBuilder &Page) {
  EXPECT_TRUE(Request(PickCode, Page));
  // The tick itself, rather than waiting half a second for it.
  Ctrl->EditTimer().stop();
  Ctrl->OnEditTimer();
  PJobRec J = Ctrl->JobList().empty() ? nullptr : Ctrl->JobList().back();
  EXPECT_TRUE(J);
  if (!J) return nullptr;
  for (const auto &[Url, Local] : Files) J->AddFile(Url, Local);
  Host.EditShowing = false;
  Host.Editing = nullptr;
  return J;
}

void JobFixture::Save(const PJobRec &Job) {
  Job->State = jsEdited;
  EXPECT_TRUE(Ctrl->Flow_Sav_Beg(Job));
}

bool JobFixture::WaitEnd(const PJobRec &Job, int Ms) { return WaitJobEnd(Job, Ms); }

std::string JobFixture::LogText() {
  Log.FlushToFile();
  return ReadFile(Dir.File("log.txt"));
}
