#pragma once
// The main window's "Register IE menu items" and "Clear IE cache".
class QWidget;

void MItm_RegMenuClick(QWidget *Owner);
void MItm_ClrCacheClick(QWidget *Owner);
// Connects the two menu items of the main window (found by their names).
void ConnectBrowserMenuItems(QWidget *MainWindow);
