#pragma once
// The job controller, the edit window and the picture editor as the program
// has them, with a window side that answers like the real one; pictures are
// served by a scripted server of the test's own.
#include <gtest/gtest.h>

#include <QColor>
#include <memory>
#include <string>
#include <vector>

#include "editors/uForm_EditJob.h"
#include "editors/uImgJobEdtr.h"
#include "editors/uVIBPanel.h"
#include "jobs/Unit_JobCntl.h"
#include "pub/Unit_Log.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TSnapshotBuilder.h"
#include "support/TestSupport.h"

class TPictureHost : public TJobHost {
 public:
  std::vector<std::string> Tips;
  void TipMsg(const std::string &Msg, const std::string &, int) override { Tips.push_back(Msg); }
  bool MsgBox(const std::string &, int) override { return true; }
  bool EditWindowShowing() override;
  bool EditWindowClosing() override;
  TJobRec *EditJob() override;
  void EditWindowToFront() override;
  void PressEditCancel() override;
  void ChooseEditor(uint8_t Kind) override;
  void StartEditor(const PJobRec &Job) override;
  void RememberForeground() override {}
  bool StartFailed() override { return InitFailed; }
  int32_t NextJobId() override { return ++GParm.iTot_Job_Cnt; }
  bool TipOnComplete() override { return GParm.bMsg_Cmplt; }
};

struct PictureFixture : ::testing::Test {
  TTempDir Dir;
  TLogger Log{Dir.File("log.txt")};
  TPictureHost Host;
  std::unique_ptr<TJobCtrl> Ctrl;
  std::unique_ptr<TImgJobEdtr> Img;
  // What the editor reads of the settings; a test may change it before Open.
  TImgSettings Settings;

  void SetUp() override;
  void TearDown() override;
  // A request, opened in the edit window at once.
  PJobRec Open(uint8_t PickCode, const TSnapshotBuilder &Page);
  // Save pressed; true when the window closed and the job went on.
  bool Save();
  std::string LogText();

  // The panel of the item at display position I, and what the box shows.
  TVIBPanel *PanelAt(size_t I) const;
  std::vector<std::string> ShownUrls() const;
  std::vector<bool> Checks() const;
  std::string Status(int Panel) const;
};

// Picture bytes made on the spot: "PNG", "JPG", "BMP" (Qt writes them) and
// "GIF" (a fixed small one).
std::string PictureBytes(const char *Format, int W, int H, QColor Color = QColor(200, 40, 40));
