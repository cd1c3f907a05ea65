#include "editors/uForm_EditJob.h"

TForm_EditJob *Form_EditJob = nullptr;

TForm_EditJob::TForm_EditJob() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("Form_EditJob"));
  setWindowTitle(QStringLiteral("Edit job"));
}
