#pragma once
// The tip window: a small frameless window at the lower right of the
// screen, above the others, that never takes the focus.
#include <QColor>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <string>

struct TMsgRcd {
  std::string Title;   // "Good", "Warning" or "Error"
  std::string Msg;     // the detail text
  std::string SecMsg;  // shown after "Saved:"
  QColor Color;
};

class TForm_Msg : public QWidget {
  Q_OBJECT
 public:
  TForm_Msg();
  void ShowMsg(const TMsgRcd &R);
  void CloseMsg(int How);  // 0 countdown, 1 click, 2 the "Open" button
  int SecondsLeft() const { return FSecLeft; }

  QLabel *Lbl_Title, *Lbl_Time, *Lbl_Rslt, *Lbl_SecMsg, *Lbl_Msg;
  QTimer *Timer_Close;

 private:
  void OnTimer();
  int FSecLeft = 0;
};
