#pragma once
// The rename window: asks the user for another name when a save target
// exists, holds a forbidden character or repeats another target of the job.
// Made once at start-up and reused for the whole run.
#include <QDialog>
#include <string>
#include <vector>

#include "ui/uRenameChk.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TForm_Renam : public QDialog {
  Q_OBJECT
 public:
  // The dialog result of "&Auto rename".
  static constexpr int ResultAutoRename = 2;

  explicit TForm_Renam(QWidget *Parent = nullptr);
  ~TForm_Renam() override;

  bool ChkFile(std::string &Path) { return FChk.ChkFile(Path); }
  bool ChkFList(std::vector<std::string> &Paths, bool Auto) { return FChk.ChkFList(Paths, Auto); }
  static bool ChkDir(const std::string &Folder, bool Create) { return TRenamChk::ChkDir(Folder, Create); }
  TRenamChk &Checker() { return FChk; }

  QLabel *Lbl_Dir = nullptr;
  QLineEdit *Edit_SrcFn = nullptr;
  QLabel *Lbl_EFN_A = nullptr;
  QLineEdit *Edit_NewFn = nullptr;
  QLabel *Lbl_EFN_B = nullptr;
  QCheckBox *CBox_AtRenam = nullptr;
  QPushButton *Btn_AtRenam = nullptr;
  QPushButton *Btn_OK = nullptr;
  QPushButton *Btn_Cancel = nullptr;

 protected:
  void showEvent(QShowEvent *E) override;

 private:
  TRenamReply Ask(TRenamChk &Chk);
  void ChkNewFn();
  void ShowDir();

  TRenamChk FChk;
  std::string FDirText;
};

// The one rename window; null before it is made and in runs without windows,
// where the editors check with a TRenamChk of their own.
extern TForm_Renam *Form_Renam;
