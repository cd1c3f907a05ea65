#pragma once
// The editor of the two picture kinds: the picture under the mouse ("Save
// picture") and every picture of the page ("Save all pictures"). It collects
// the page's pictures, filters them by size class and type, sorts them by
// type and by size and preselects them; showing, checking and saving is the
// visual item box's. The user can turn a one-picture job into an
// all-pictures job and back; the page is collected once per job.
#include <functional>
#include <memory>
#include <string>

#include "editors/uImgItems.h"
#include "editors/uVIBJobEdtr.h"

class QObject;

// What the editor reads of the settings, handed in by their owner so that
// the editor needs no settings record of its own.
struct TImgSettings {
  uint8_t FltTyp = 0;  // 0 all, 1 JPG, 2 GIF, 3 PNG
  uint8_t FltSiz = 0;  // 0 all, 1 Large, 2 Medium, 3 Small
  bool SortDes = true;
  uint8_t SelKind = 0;  // 0 all, 1 biggest, 2 none
  bool IgnTiny = true;
  bool IgnBar = true;
  std::string Dir;  // the picture folder
};

class TImgJobEdtr : public TVIBJobEdtr {
 public:
  explicit TImgJobEdtr(std::function<TImgSettings()> Settings);
  ~TImgJobEdtr() override;

  void Edt_Init() override;
  void Edt_Rdy() override;
  void Edt_Load_Parm() override;
  void Edt_Bind_Ctrls() override;
  void Edt_Release() override;

  void EImg_Collect();
  void EImg_Filter();
  void EImg_Count();
  void EImg_Upd_SortBtns();
  // Mode 0 size, 1 type, 2 type then size.
  void EImg_Sort(uint8_t Mode);
  void EImg_Refresh();
  // Target jkOneImage or jkAllImages.
  void EImg_Switch_Mode(uint8_t Target);
  void EImg_Show_Bench();
  // The Image tab's buttons, by their Tag.
  void OnBtnClick(QObject *Sender);

  std::unique_ptr<TVIBItem> CurImgItem;
  TVIBItems AllItems;
  bool OneImage = false;
  bool AllCollected = false;
  TImgCounts Counts;

 private:
  std::function<TImgSettings()> FSettings;
  std::string FDir;
};

extern TImgJobEdtr *JE_Img;
