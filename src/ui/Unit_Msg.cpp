#include "ui/Unit_Msg.h"

#include <QMessageBox>

#include "pub/Unit_Log.h"
#include "pub/uRunVars.h"
#include "ui/UForm_Msg.h"
#include "ui/uForm_main.h"

TForm_Msg *FormMsg = nullptr;
QPointer<QWidget> PrevFgWnd;
QPointer<QWidget> EditWnd;
std::function<void()> EditWnd_ToFront;

bool EditWnd_Raise() {
  if (!EditWnd || !EditWnd->isVisible()) return false;
  if (EditWnd_ToFront)
    EditWnd_ToFront();
  else
    EditWnd->raise();
  return true;
}

QWidget *MainWnd() { return MainForm; }

void MainWnd_PutAtBottom() {
  if (MainForm) MainForm->PutAtBottom();
}

void GLBL_TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind) {
  if (!FormMsg) return;
  TMsgRcd R;
  switch (Kind) {
    case TipWarning:
      R.Title = "Warning";
      R.Color = QColor(253, 254, 218);
      break;
    case TipError:
      R.Title = "Error";
      R.Color = QColor(255, 223, 223);
      break;
    default:
      R.Title = "Good";
      R.Color = QColor(188, 230, 181);
  }
  R.Msg = Msg;
  R.SecMsg = SecMsg;
  // A tip is never worth a failure of its caller (often a job's last step).
  try {
    FormMsg->ShowMsg(R);
  } catch (...) {
    Log::Err("GLBL_TipMsg error, Can not show msg!", true);
  }
}

bool GLBL_MsgBox(QWidget *Owner, const std::string &Text, int Kind, bool TopMost) {
  if (SysState.load() != 1 && !InitFailed.load()) return false;
  QMessageBox Box(Owner);
  Box.setObjectName(QStringLiteral("MsgBox"));
  Box.setWindowTitle(QStringLiteral("Message"));
  // Texts carry page titles and paths: never read them as markup.
  Box.setTextFormat(Qt::PlainText);
  Box.setText(QString::fromStdString(Text));
  switch (Kind) {
    case MbWarning:
      Box.setIcon(QMessageBox::Warning);
      break;
    case MbError:
      Box.setIcon(QMessageBox::Critical);
      break;
    case MbYesNo:
      Box.setIcon(QMessageBox::Question);
      break;
    default:
      Box.setIcon(QMessageBox::Information);
  }
  if (Kind == MbYesNo)
    Box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  else
    Box.setStandardButtons(QMessageBox::Ok);
  if (TopMost) Box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  int R = Box.exec();
  return R == QMessageBox::Yes || R == QMessageBox::Ok;
}
