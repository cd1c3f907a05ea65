#pragma once
// The options dialog and the update check joined to the settings record and
// to the main window: its "Options..." and "Check for updates" items and the
// automatic check on its timer.
#include "ui/UForm_ChkUpd.h"
#include "ui/uForm_Option.h"

struct TGlobalParm;
class TMainForm;

// Every setting the options dialog edits, by its cfg.ini key.
TOptFields OptFieldsOf(TGlobalParm &P);
// What the update check reads and keeps in P, and the program's scratch
// files, version and edit window.
TUpdEnv UpdEnvOf(TGlobalParm &P);
// Hands the dialogs the program's settings and enables and connects the
// main window's two items and its timer's update duty.
void ConnectOptionsAndUpdates(TMainForm &Main, TForm_Option &Opt, TForm_ChkUpd &Upd);
