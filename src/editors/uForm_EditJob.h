#pragma once
// The job edit window: one window for the whole run, reused for every job.
// A preview on the left (a memo for plain text, a browser control for HTML,
// a column of item panels for pictures and movies) and the options of the
// job's kind on the right, on one of three tabs; Save hands the job on,
// Cancel (or any other way of closing) drops it.
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QTabWidget;
class QToolButton;
class TWebEngineBrowser;

// The integer Tag a control carries (0 when it has none).
int TagOf(const QObject *O);
void SetTag(QObject *O, int Tag);

class TForm_EditJob : public QWidget {
  Q_OBJECT
 public:
  TForm_EditJob();
  ~TForm_EditJob() override;

  void Frm_Init_View();
  void Frm_Exit(bool Save);
  void Frm_Sel_Dir(QLineEdit *Edit);
  void Frm_ToFront();
  void FocusCtrl(QWidget *W);
  void DO_OptimizeMem();

  // The item panels of the picture and movie editors, in order.
  std::vector<QWidget *> ItemPanels() const;
  // The Image tab's controls and the two buttons, in the order the Tab key
  // goes through them after the item box.
  std::vector<QWidget *> ImageTabChain() const;
  // In each group of mutually exclusive buttons on Tab, only the pressed
  // button is a Tab stop, as in a radio group. Qt moves the stop to the
  // button that last had the focus, which would make the Tab order depend
  // on earlier jobs.
  void FixGroupStops(QWidget *Tab);

  // The application's message hook: sees every event of the program while
  // set (the visual item box editors set it, the text editor clears it);
  // true marks an event handled.
  std::function<bool(QObject *Target, QEvent *E)> AppMessage;

  bool FirstShow = true;
  bool CloseOK = false;
  bool InFormClose = false;

  // Preview side.
  QWidget *Pnl_Preview;
  QPlainTextEdit *Memo_Preview;
  TWebEngineBrowser *WB_Preview;
  QScrollArea *ScrlBox_Img;
  QLabel *Pn_No_Data;
  QStatusBar *StaBar_Pvw;
  QLabel *StaBar_Panels[3];
  QLabel *Pn_Pvw_Tips;
  // Hidden, holding the glyphs of the sort buttons.
  QLabel *Img_Arrow_Up, *Img_Arrow_Down;
  // Options side.
  QWidget *Pnl_Op;
  QTabWidget *PageCtrl;
  QWidget *TS_Webpage, *TS_Image, *TS_Flash;
  QPushButton *Btn_Save, *Btn_Cancel;
  // "Web page".
  QToolButton *Sbtn_Snippet, *Sbtn_Fullpage, *Sbtn_PTextFmt, *Sbtn_HtmlFmt;
  QCheckBox *Chkbox_Sav_Img, *ChkBox_RmvTag_Scrp, *Chkbox_Addinfo_Url, *Chkbox_Addinfo_Time;
  QLineEdit *Edit_srcUrl, *Edit_AbsFileName, *Edit_WP_SDir;
  QLabel *Lbl_WB_EFn;
  QToolButton *SBtn_WP_SelDir;
  // "Image".
  QToolButton *Sbtn_CurImg, *SBtn_AImg;
  QWidget *Pn_Almg_bench;
  QToolButton *SBtn_AllSize, *SBtn_Large, *SBtn_Medium, *SBtn_Small;
  QToolButton *SBtn_AllType, *SBtn_Jpg, *SBtn_Gif, *SBtn_Png;
  QToolButton *BBtn_Img_SortSiz, *BBtn_Img_SortTyp;
  QToolButton *BBtn_Img_SelBig, *BBtn_Img_SelAll, *BBtn_Img_SelNon;
  QLineEdit *Edit_Img_Url, *Edit_Img_AFn, *Edit_Img_SDir;
  QLabel *Lbl_Img_EFn;
  QToolButton *SBtn_Img_SelDir;
  // "Flash".
  QToolButton *BBtn_Fls_SortSiz;
  QLabel *Label_Flash_Sort_Indc;
  QToolButton *BBtn_Fls_SelBig, *BBtn_Fls_SelAll, *BBtn_Fls_SelNon;
  QLineEdit *Edit_Fls_Url, *Edit_Fls_AFn, *Edit_Fls_SDir;
  QLabel *Lbl_Fls_EFn;
  QToolButton *SBtn_Fls_SelDir;

 protected:
  void showEvent(QShowEvent *E) override;
  void closeEvent(QCloseEvent *E) override;
  void keyPressEvent(QKeyEvent *E) override;
  bool eventFilter(QObject *O, QEvent *E) override;
  void resizeEvent(QResizeEvent *E) override;

 private:
  QWidget *BuildWebTab();
  QWidget *BuildImageTab();
  QWidget *BuildFlashTab();
  void AfterClose();
  void PrepareClose();
  QObject *FAppEvents;
};

extern TForm_EditJob *Form_EditJob;
