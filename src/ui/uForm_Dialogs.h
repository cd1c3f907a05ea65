#pragma once
// The dialogs made at start-up and reused for the whole run.
#include <QDialog>

class TForm_Option : public QDialog {
  Q_OBJECT
 public:
  explicit TForm_Option(QWidget *Parent = nullptr);
};

class TForm_ChkUpd : public QDialog {
  Q_OBJECT
 public:
  explicit TForm_ChkUpd(QWidget *Parent = nullptr);
};
