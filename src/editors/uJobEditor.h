#pragma once
// The base of the job editors. One editor per kind of job lives for the
// whole run; the base owns the editing flow: the order of the editor's
// steps, the states jsInitial -> jsEditing -> jsEdited, the hand-over to
// saving, and the cancelling of a job whose window closes without a Save.
#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "jobs/uJobRec.h"

class QLabel;
class QLineEdit;
class TForm_EditJob;

// The option bytes every editor shares, copied from the settings per job.
struct TEditOpts {
  uint8_t OptHtmlFmt = 0;  // 0 plain text, 1 HTML
  uint8_t OptSaveImg = 0;
  uint8_t OptRmvScrp = 0;
  uint8_t OptAddUrl = 0;
  uint8_t OptAddTime = 0;
  // The picture and movie editors' options.
  uint8_t OptImgFltTyp = 0, OptImgFltSiz = 0, OptImgSortDes = 0, OptImgSelKind = 0;
  uint8_t OptImgIgnTiny = 0, OptImgIgnBar = 0, OptFlsSortDes = 0, OptFlsSelKind = 0;
  uint8_t OptImgTypAsc = 1;  // no setting: JPG, GIF, PNG, BMP at every start
};

class TJobEditor {
 public:
  TJobEditor();
  virtual ~TJobEditor();
  TJobEditor(const TJobEditor &) = delete;
  TJobEditor &operator=(const TJobEditor &) = delete;

  // Slots, in their order.
  virtual void Edt_Init() = 0;
  virtual void Edt_Bld() = 0;
  virtual void Edt_Rdy() = 0;
  virtual bool Edt_Make_fList() = 0;
  virtual bool Edt_Chk_Valid();
  virtual void Edt_Load_Parm() = 0;
  // The base part: the window, and its message hook cleared (the visual
  // item box editors set it again after this).
  virtual void Edt_Bind_Ctrls();
  // The idle window's tidy-up: what the last job left (its items, its
  // page) may go; the next Edt_Init starts afresh anyway.
  virtual void Edt_Release() {}

  // The entry from the job controller, for a job in jsInitial.
  void EJob_Start(const PJobRec &Job);
  void EJob_Flow_Beg();
  // Save: true when the job went on to saving and the window closed.
  bool EJob_Exit();
  // From the window's close handler.
  bool EJob_Chk_Close();
  static void EJob_Add_File(TJobRec &Job, const std::string &Url, const std::string &LocalPath);
  // The folder button: the folder dialog over the edit window into DirEdit.
  void Edt_Sel_Dir();
  // New windows are never opened from a preview.
  static void OnWBNewWindow(bool &Cancel) { Cancel = true; }

  TEditOpts Opts;
  QLabel *ExtLabel = nullptr;
  QLineEdit *UrlEdit = nullptr;
  QLineEdit *NameEdit = nullptr;
  QLineEdit *DirEdit = nullptr;
  bool Bound = false;

 protected:
  TForm_EditJob *Form = nullptr;
  // The context of the editor's connections to the window: they end with it.
  std::unique_ptr<QObject> Ctx = std::make_unique<QObject>();

 private:
  void EJob_Flow_End();
};

// The job on screen and its editor (main thread only).
extern PJobRec EditJob;
extern uint8_t EditJobKind;  // 5 once the hidden window was tidied for the job
extern uint8_t EdtPhase;     // 0 idle, 1 Edt_Init, 2 Edt_Bld, 3 shown
extern TJobEditor *CurEditor;
