#include "ui/uForm_Dialogs.h"

TForm_Option::TForm_Option(QWidget *Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("Form_Option"));
  setWindowTitle(QStringLiteral("Options"));
}

TForm_ChkUpd::TForm_ChkUpd(QWidget *Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("Form_ChkUpd"));
  setWindowTitle(QStringLiteral("Check for updates"));
}
