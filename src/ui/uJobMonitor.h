#pragma once
// The job monitor: the tree of job categories, the list of jobs and the
// detail pane on the main window's first page. It listens to the
// controller's JobChanged; it never changes a job itself, but calls the
// controller's operations from the list's pop-up menu.
#include <QIcon>
#include <QObject>
#include <string>
#include <vector>

#include "jobs/uJobRec.h"

class TMainForm;
class QLabel;
class QTreeWidgetItem;

class TJobMonitor : public QObject {
  Q_OBJECT
 public:
  explicit TJobMonitor(TMainForm &Form);
  ~TJobMonitor() override;

  void Run_ChgJobSta(const PJobRec &Job);
  void Rebld_LstView();
  void UpdLstItem(QTreeWidgetItem *Item);
  void Refsh_JobDtl();
  void Show_JobDtl(const TJobRec &Job);
  void Show_JobDtlPane();
  void Hide_JobDtlPane();
  void Switch_JobDtlPane();

  // The pop-up menu: takes the selection and enables the items; then the
  // items' actions, each on the lists taken at the opening.
  void PopupOpening();
  void MItm_ReRunClick();
  void MItm_ReRunAllClick();
  void MItm_StopJobClick();
  void MItm_StopAllClick();
  void MItm_DeleteClick();
  void MItm_GoNextClick();
  void MItm_ExploreClick();
  void MItm_SavUrlLstClick();

  int Filter() const { return FFilter; }
  const std::vector<PJobRec> &ShownJobs() const { return FShown; }
  // The job a list item stands for, found by its number in the
  // controller's list; null when the job is gone.
  TJobRec *ItemJob(const QTreeWidgetItem *Item) const;
  PJobRec ItemPJob(const QTreeWidgetItem *Item) const;
  // The number of the job a list item stands for; -1 for none.
  static int32_t ItemNumber(const QTreeWidgetItem *Item);
  // The state pictures, by state value.
  static QIcon StateIcon(int State);
  // The line that tells a new user what to do, shown in the empty list
  // until the first job arrives.
  QLabel *FirstUseHint() const { return FHint; }

 protected:
  bool eventFilter(QObject *Obj, QEvent *E) override;

 private:
  bool PassFilter(const PJobRec &Job) const;
  void PlaceHint();
  void AddLstItem(const PJobRec &Job);
  QTreeWidgetItem *FirstSelected() const;
  void LogFail(const char *Tips, const char *Mthd, const std::string &What) const;

  TMainForm &FForm;
  QLabel *FHint = nullptr;
  int FFilter = 0;
  PJobRec FCurJob;
  std::vector<PJobRec> FShown;
  std::vector<PJobRec> FSelected;
};

// The monitor of the running program, made and freed with the other modules.
extern TJobMonitor *JobMntr;
