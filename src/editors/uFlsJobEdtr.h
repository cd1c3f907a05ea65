#pragma once
// The editor of the movie kind ("Save flash"): the plug-in movies of the
// page's OBJECT and EMBED elements and the VIDEO and AUDIO of today's pages,
// sorted by size (biggest first, or the other way round with the "Size"
// button) and preselected; showing, checking and saving is the visual item
// box's. There is no filter. A movie that has no file behind it is listed
// with the reason and cannot be checked.
#include <functional>
#include <string>

#include "editors/uFlsItems.h"
#include "editors/uVIBJobEdtr.h"

class QObject;

// What the editor reads of the settings, handed in by their owner.
struct TFlsSettings {
  bool SortDes = true;
  uint8_t SelKind = 0;  // 0 all, 1 biggest, 2 none
  std::string Dir;      // the movie folder
};

class TFlsJobEdtr : public TVIBJobEdtr {
 public:
  explicit TFlsJobEdtr(std::function<TFlsSettings()> Settings);
  ~TFlsJobEdtr() override;

  void Edt_Init() override;
  void Edt_Rdy() override;
  void Edt_Load_Parm() override;
  void Edt_Bind_Ctrls() override;
  void Edt_Release() override;

  void EFls_Collect();
  void EFls_Order();
  // The Flash tab's buttons, by their Tag.
  void OnBtnClick(QObject *Sender);

  // Every collected movie; ItemList shows them all.
  TVIBItems FlsItems;

 private:
  std::function<TFlsSettings()> FSettings;
  std::string FDir;
};

extern TFlsJobEdtr *JE_Fls;
