#pragma once
// The job edit window: one window shared by every kind of job.
#include <QWidget>

class TForm_EditJob : public QWidget {
  Q_OBJECT
 public:
  TForm_EditJob();
};

extern TForm_EditJob *Form_EditJob;
