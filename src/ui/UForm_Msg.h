#pragma once
// The tip window: a small frameless window at the lower right of the
// screen, above the others, that never takes the focus. It fades in,
// counts five seconds down while fading out and hides itself; the mouse
// over it holds the count.
#include <QColor>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <string>

class QFrame;
class QToolButton;

struct TMsgRcd {
  std::string Title;   // "Good", "Warning" or "Error"
  std::string Msg;     // the detail text
  std::string SecMsg;  // shown after "Saved:"
  QColor Color;
};

// A plain-text label that never cuts a word in half at its edge: wrapped
// text breaks inside a word only when the word alone is wider than the
// label, and what does not fit ends in an ellipsis. text() stays the
// whole text.
class TFitLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TFitLabel(QWidget *Parent);
  // The lines as they are painted.
  QStringList ShownLines() const;

 protected:
  void paintEvent(QPaintEvent *E) override;
};

class TForm_Msg : public QWidget {
  Q_OBJECT
 public:
  TForm_Msg();
  ~TForm_Msg() override;

  // Shows a tip; a tip already on screen takes the new texts and starts
  // over. Returns after the fade-in, which lets the event loop run.
  void ShowMsg(const TMsgRcd &R);
  // 0 transparent .. 255 opaque.
  virtual void SetOpacity(int Value);
  // How: 0 the countdown ran out, 1 a click on the tip, 2 the "Open" button.
  void CloseMsg(int How);
  // One tick of Timer_Close (public so tests need not wait seconds).
  void Timer_CloseTimer();

  int SecondsLeft() const { return FSecLeft; }
  bool Hovered() const { return FHover; }
  // The window was placed at its first showing; later tips keep the
  // place, even when the user's desktop moved it.
  bool Positioned() const { return FTag != 0; }

  QFrame *Shape_bg;
  QLabel *Lbl_Title, *Lbl_Time;
  QLabel *Lbl_Result, *Lbl_Saved, *Lbl_Detail;
  QLabel *Lbl_Rslt;
  TFitLabel *Lbl_SecMsg;
  QFrame *Shape_Msg;
  TFitLabel *Lbl_Msg;
  QLabel *Img_Face;
  QToolButton *SBtn_Open;
  QTimer *Timer_Close;

 protected:
  bool eventFilter(QObject *Obj, QEvent *E) override;
  void enterEvent(QEnterEvent *E) override;
  void leaveEvent(QEvent *E) override;

 private:
  void FirstPlace();
  void MouseOver();
  void MouseLeft();
  void FadeIn();
  void SetBgColor(const QColor &C);

  int FSecLeft = 0;
  bool FHover = false;
  int FTag = 0;
  // The fade-in runs in one loop only; a tip arriving inside it restarts
  // the loop by resetting the step instead of nesting a second fade.
  bool FFading = false;
  int FFadeStep = 0;
};
