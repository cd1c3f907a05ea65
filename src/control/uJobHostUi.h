#pragma once
// The job controller's side of the windows: tips and message boxes, the
// edit window and its editors, the start state and the settings.
#include "jobs/Unit_JobCntl.h"

class TJobHostUi : public TJobHost {
 public:
  void TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind) override;
  bool MsgBox(const std::string &Text, int Kind) override;
  bool EditWindowShowing() override;
  bool EditWindowClosing() override;
  TJobRec *EditJob() override;
  void EditWindowToFront() override;
  void PressEditCancel() override;
  void ChooseEditor(uint8_t Kind) override;
  void StartEditor(const PJobRec &Job) override;
  void RememberForeground() override;
  void WarmUp(uint8_t Kind) override;
  bool StartFailed() override;
  int32_t NextJobId() override;
  bool TipOnComplete() override;
  TDownLimits DownLimits() override;
};
