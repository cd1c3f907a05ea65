#pragma once
// The update check and its dialog: on demand from the main window's menu,
// or automatically from its timer every so many days, the program asks its
// web site for the latest version. The file comes in on a worker; the
// dialog offers the page of a newer version and, after an automatic check,
// how soon to ask again. Made once at start-up and reused for the whole run.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "pub/uRegional.h"
#include "ui/uUpdChk.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

// The up-down arrows beside a number box: each step reads the box (or keeps
// its own position when the box holds no number), moves within Min..Max and
// writes the result back.
class TUpDown : public QWidget {
  Q_OBJECT
 public:
  TUpDown(QLineEdit *Associate, int Min, int Max, QWidget *Parent);
  void StepBy(int Steps);
  int Position() const { return FPos; }
  QToolButton *Btn_Up = nullptr;
  QToolButton *Btn_Down = nullptr;

 protected:
  bool eventFilter(QObject *Obj, QEvent *E) override;

 private:
  QLineEdit *FEdit;
  int FMin, FMax, FPos;
};

// What the update check reads and keeps, and what it needs from the program
// around it; the program entry fills it in.
struct TUpdEnv {
  int32_t *ChkCyc = nullptr;          // days between automatic checks
  TDateTime *ChkDate = nullptr;       // the day the next one is due
  const std::string *Host = nullptr;  // the site the update file is on
  std::string Version = "0.12";       // this program's
  // A scratch file to download into, and its return once read.
  std::function<std::string()> GetTempFile;
  std::function<void(const std::string &)> FreeTempFile;
  // The job edit window is up.
  std::function<bool()> EditWindowShowing;
  std::string CaFile;  // the trust store for https; empty: the system's
  int TimeoutSec = UpdTimeoutSec;
};

class TForm_ChkUpd : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char *MsgNewer =
      "An updated version of Mossgather is available now, would you like to view the details?";
  static constexpr const char *MsgNone = "No updates are available at this time";
  static constexpr const char *MsgChecking = "Checking for updates...";

  explicit TForm_ChkUpd(QWidget *Parent = nullptr);
  ~TForm_ChkUpd() override;

  void SetEnv(TUpdEnv Env);
  // From the main window's timer while it is the only window showing: checks
  // when a check is due, or shows a newer version found while other windows
  // were up.
  void AutoChkUpd();
  // From "Check for updates": always checks, and shows the outcome.
  void ChkUpd();

  bool CheckedThisRun() const { return FChecked; }
  // A fetch is on its way.
  bool Checking() const { return FFetch.Busy(); }
  // A newer version found by the automatic check, waiting for the other
  // windows to close.
  bool AutoAnswerWaiting() const { return FAutoWaiting; }
  // The last file read: the published version and its page.
  float PubVersion() const { return FInfo.Version; }
  const std::string &DetailsUrl() const { return FInfo.Url; }

  QLabel *Lbl_Msg = nullptr;
  QWidget *pn_Reminder = nullptr;
  QGroupBox *RG_Rmder = nullptr;
  QRadioButton *RB_Remind = nullptr;
  QRadioButton *RB_NoRemind = nullptr;
  QLineEdit *ED_UpdDate = nullptr;
  TUpDown *UD_Day = nullptr;
  QPushButton *Btn_Ok = nullptr;
  QPushButton *Btn_Cancle = nullptr;

 protected:
  void showEvent(QShowEvent *E) override;
  void resizeEvent(QResizeEvent *E) override;

 private:
  enum class TMode { None, Auto, Manual };
  void StartFetch(TMode Mode);
  void OnAnswer(TMode Mode, const std::string &Url, const TUpdAnswer &A);
  void ShowAuto();
  void ShowManualAnswer(const TUpdAnswer &A);
  void ShowAs(TMode Mode);
  void FitHeight(int Height);
  void OnFinished(int Result);
  void PlaceDayBox();
  void MoveNextChk();
  bool OtherWindowShowing() const;

  TUpdEnv FEnv;
  TUpdFetch FFetch;
  TUpdInfo FInfo;
  std::string FTempFile;
  TMode FShown = TMode::None;
  bool FChecked = false;
  bool FAutoWaiting = false;
};
