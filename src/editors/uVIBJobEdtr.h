#pragma once
// The visual item box: the base of the picture and movie editors. It shows
// the items of a page as a column of panels in the edit window's item box,
// each with a thumbnail, a drawn caption and a check box; one item is the
// current one (highlighted, its address and name in the boxes, moved by the
// keys); the checked items become the job's files on Save. The deriving
// editor collects the items and fills ItemList; everything that shows,
// selects, checks and saves them lives here. What needs no display is
// decided in uVIBItem.
#include <QObject>
#include <QUrl>
#include <string>
#include <vector>

#include "editors/uJobEditor.h"
#include "editors/uVIBItem.h"

class QEvent;
class QScrollArea;
class TLightBrowser;
class TVIBPanel;

// The kinds of VIBox_Select_By_Kind.
enum TSelKind : uint8_t { skAll = 0, skBiggest = 1, skNone = 2, skDefault = 3 };

class TVIBJobEdtr : public TJobEditor {
 public:
  TVIBJobEdtr();
  ~TVIBJobEdtr() override;

  void Edt_Bld() override;
  bool Edt_Make_fList() override;
  bool Edt_Chk_Valid() override;
  void Edt_Bind_Ctrls() override;

  void VIBox_Select_By_Kind(uint8_t Kind);
  void VIBox_Select_Item(TVIBItem *Item);
  void VIBox_Clear_Current();
  void VIBox_Upd_Status();
  // Frees the items and forgets them in every panel and selection.
  void VIBox_Free_Items(TVIBItems &Items);
  void VIBox_Navigate(uint8_t Move);
  int32_t VIBox_Sel_Count() const;
  void VIBox_Save_Name();
  void VIBox_Layout();

  bool VIBox_Assign_Box(const TVIBList &List);
  bool VIBox_Add_Panels(int32_t Count);
  bool VIBox_Link_Items(const TVIBList &List);
  void VIBox_Link_Item(int32_t Index, const std::vector<TVIBPanel *> &Panels);
  void VIBox_Show_Item(TLightBrowser *Browser, TVIBItem *Item, const std::string &Source);
  void VIBox_Draw_Caption(TVIBItem *Item);

  // The edit window's message hook: keys on the current check box, a left
  // click into a thumbnail, the wheel over the preview. True: handled.
  bool OnAppMessage(QObject *Target, QEvent *E);
  // Every item browser: only the blank page may be shown.
  static void OnWBBefNavgate(const QUrl &Url, bool *Cancel);
  // From the panels.
  void OnPanelImageUp(TVIBPanel *Panel);
  void OnPanelCheckClick(TVIBPanel *Panel);

  // The panels of the box, in order, and the one that shows an item.
  const std::vector<TVIBPanel *> &Panels() const;
  TVIBPanel *PanelOf(const TVIBItem *Item) const;
  // The position of an item in ItemList; -1 when it is not there.
  int32_t IndexOf(const TVIBItem *Item) const;
  // The local file a thumbnail and a save can use for Url: the URL cache's
  // copy, or for a page from the local disk the file itself; empty when none.
  std::string LocalSource(const std::string &Url) const;

  TVIBList ItemList;
  TVIBItem *BiggestItem = nullptr;
  QScrollArea *Box = nullptr;
  bool Busy = false;

 protected:
  bool IsMovieJob() const;

 private:
  void OnThumbArrived(const QString &Source, qint64 Bytes);
  QObject FThumbCtx;  // ends the connection to the thumbnail loader with the editor
};

// The current item of the one item box (main thread only).
extern TVIBItem *CurItem;
