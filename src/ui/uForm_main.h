#pragma once
// The main window: the job monitor and the event log on a notebook, the
// menus, and the 8-second timer of the program's periodic duties. Showing
// it first starts the program's modules; closing asks whether exit is
// allowed; destroying it tears the modules down.
#include <QMainWindow>
#include <QTimer>
#include <string>

class QPlainTextEdit;
class QStackedWidget;
class QTreeWidget;
class QToolButton;
class QSplitter;
class QWidget;
class QLabel;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  TMainForm();
  ~TMainForm() override;

  void InitView();
  void SetHoldZOrder(bool Hold) { FHoldZOrder = Hold; }
  bool HoldZOrder() const { return FHoldZOrder; }
  void PutAtBottom();
  // The wake-up message from a second copy: restore and come forward.
  void WakeUp();
  // A close that no one can answer (a signal, the session's logout): an
  // unfinished job does not keep the program open.
  void CloseUnattended();
  // One tick of the periodic timer (public so tests need not wait 8 s).
  void TimerTick();
  void OpenSaveFolder(const std::string &Folder);
  void AppendLogLine(const std::string &Line);
  void SetPage(int Page);

  QStackedWidget *Notebook;
  QTreeWidget *TreeView;
  QTreeWidget *LstVw_Mntr;
  QWidget *Pn_JobDtl;
  QPlainTextEdit *Memo_JobDtl;
  QPlainTextEdit *Memo_Log;
  QToolButton *SBtn_Txt, *SBtn_Img, *SBtn_Fls, *SBtn_Mon, *SBtn_Log, *SBtn_Use;
  QSplitter *Spl_Job;
  QLabel *SttBar_Time;
  QTimer *Timr_ClrMem;

 protected:
  void showEvent(QShowEvent *E) override;
  void closeEvent(QCloseEvent *E) override;
  void changeEvent(QEvent *E) override;

 private:
  void BuildMenus();
  bool FInitDone = false;
  bool FHoldZOrder = false;
  int FRunMinutes = 0, FRunSeconds = 0;
};

extern TMainForm *MainForm;
