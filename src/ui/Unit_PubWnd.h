#pragma once
// The shell and window functions shared by the windows: opening documents
// and addresses with the desktop, the folder dialog, bringing windows forward.
#include <initializer_list>
#include <string>

class QWidget;

// Opens a document, folder or address with the desktop (xdg-open). Blanks
// only do nothing; a failure is told as an Error tip and logged.
void Shell_Open(const std::string &Text);
// The folder dialog, opening at Folder; true with Folder set when the user
// picked one, false with Folder empty when cancelled.
bool Sel_Directory(QWidget *Owner, const std::string &Title, const std::string &Root, std::string &Folder);
// Above the other windows (after restoring a minimised program).
void Wnd_TopMost(QWidget *W);
// The active window (after restoring a minimised program).
void Wnd_ToFront(QWidget *W);
// True while a window of the program other than those in Except shows;
// menus, tooltips and other pop-ups are not windows here.
bool Wnd_OthersShown(std::initializer_list<const QWidget *> Except);
// Topmost and active. A program on this desktop can only raise and activate
// its own windows; there is no synthetic click.
void Wnd_ForceFront(QWidget *W);

inline constexpr const char *HomePageUrl = "https://mossgather.org/";
inline constexpr const char *UsePageUrl = "https://mossgather.org/en/index51001.html";
// A new mail whose subject names the product and its web site.
void Pub_TellFriend();
// The product's page on its web site.
void Pub_VisitWebSite();
