#pragma once
// What the user is told: the tip (non-modal, fades in at the lower right)
// and the modal message box captioned "Message".
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "pub/uMsgKind.h"

class QWidget;
class TForm_Msg;

// The window that was active when the job on screen was opened; focus goes
// back to it when the job's windows close.
extern QPointer<QWidget> PrevFgWnd;

// The job editing window, registered by itself while it exists, with its own
// way of coming forward (a rename dialog over it goes first). The tip hands
// the focus back to it without knowing the editors.
extern QPointer<QWidget> EditWnd;
extern std::function<void()> EditWnd_ToFront;
// Brings the registered edit window forward when it shows; false when there
// is none on screen.
bool EditWnd_Raise();

// The main window as the editors see it: where the focus does not go back
// to, and what steps back below the other windows when a job closes.
QWidget *MainWnd();
void MainWnd_PutAtBottom();

// The tip window, made at start-up and freed at exit; null outside that.
extern TForm_Msg *FormMsg;

void GLBL_TipMsg(const std::string &Msg, const std::string &SecMsg, int Kind);
// Shows only while the program is ready, or while a failed start is being
// reported; otherwise returns false at once. True for Yes or OK.
bool GLBL_MsgBox(QWidget *Owner, const std::string &Text, int Kind, bool TopMost = false);
