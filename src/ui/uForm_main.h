#pragma once
// The main window: the job monitor and the event log on a notebook, the
// menus, and the 8-second timer of the program's periodic duties. The
// window knows nothing of the program's controller: the program entry hangs
// the start on the first showing, the exit question on a close and the
// teardown on the window's end (the hooks below). With the tray setting on
// (and a tray on the desktop) closing only hides the window: the program
// goes on serving the browser until Quit.
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QSystemTrayIcon;
class QToolButton;
class QTreeWidget;
class QWidget;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  TMainForm();
  ~TMainForm() override;

  void InitView();
  // While held, the window neither raises nor lowers itself, so the tip
  // window can show, hover and close without moving it in the stack.
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
  // 0 the job monitor, 1 the event log; other numbers are ignored.
  void SetPage(int Page);
  // The list view's height above the detail pane.
  void SetListHeight(int Height);
  int RunMinutes() const { return FRunMinutes; }
  // The status line's count of the jobs in the program: "Ready" for none.
  void ShowJobCount(int Count);

  // Shows or removes the tray icon as the setting and the desktop allow.
  void UpdTray();
  // The tray icon while the program keeps running there; null otherwise.
  QSystemTrayIcon *Tray() const { return FTray; }
  // The tray's tooltip: the program and the number of jobs saving now.
  void UpdTrayTip();
  // Ends the program through the normal close path, tray or not.
  void QuitProgram();
  // What ends the program once closing is allowed (tests put their own).
  std::function<void()> OnQuit;
  // Whether the desktop has a tray. MOSSGATHER_TRAY=1 or 0 overrides what
  // the desktop says, for desktops that hide theirs from Qt.
  static bool TrayAvailable();

  QStackedWidget *Notebook;
  QTreeWidget *TreeView;
  QWidget *Pn_JobView;
  QTreeWidget *LstVw_Mntr;
  QSplitter *Spl_Job;
  QWidget *Pn_JobDtl;
  QToolButton *SBtn_Refresh, *SBtn_ClsDtl;
  QPlainTextEdit *Memo_JobDtl;
  QPlainTextEdit *Memo_Log;
  QToolButton *SBtn_Txt, *SBtn_Img, *SBtn_Fls, *SBtn_Mon, *SBtn_Log, *SBtn_Use;
  QStatusBar *SttBar;
  QLabel *SttBar_Ready, *SttBar_Time;
  QTimer *Timr_ClrMem;
  QAction *MItm_JobDtl, *MItm_RefreshDtl, *MItm_Option, *MItm_ChkUpd, *MItm_About;
  QAction *MItm_VwMon, *MItm_VwLog;
  QMenu *PMenu_Mntr;
  QAction *MItm_ReRun, *MItm_ReRunAll, *MItm_StopJob, *MItm_StopAll, *MItm_Delete, *MItm_GoNext, *MItm_Explore, *MItm_SavUrlLst;
  // Where the save dialog opens.
  std::string SaveDlgDir;

  // Asked when the window is to close; false keeps it open. Empty: it closes.
  std::function<bool()> CloseQuery;
  // Runs first thing as the window is destroyed.
  std::function<void()> OnDestroy;

 signals:
  // A timer tick found the main window the only window of the program
  // showing: the moment for the automatic update check.
  void AutoChkUpdDue();
  // The window showed for the first time.
  void FirstShown();
  // A close no one can answer is on its way (see CloseUnattended).
  void UnattendedCloseAsked();
  // One tick of the periodic timer, for the program's other duties.
  void Ticked();

 protected:
  void showEvent(QShowEvent *E) override;
  void closeEvent(QCloseEvent *E) override;
  void changeEvent(QEvent *E) override;

 private:
  void BuildMenus();
  void BuildPopup();
  void ShowAbout();
  QSystemTrayIcon *FTray = nullptr;
  bool FQuitting = false;
  // An unattended close was asked: the tray does not keep the program.
  bool FUnattended = false;
  bool FInitDone = false;
  bool FHoldZOrder = false;
  int FRunMinutes = 0, FRunSeconds = 0;
};

extern TMainForm *MainForm;
