#pragma once
// The About box: banner, version, the home page and the mail links.
#include <QDialog>

class QLabel;
class QPushButton;

class TFrm_About : public QDialog {
  Q_OBJECT
 public:
  explicit TFrm_About(QWidget *Parent);

  QLabel *Img_Banner, *Lbl_Version, *Lbl_HomePage, *Lbl_Contact, *Lbl_Bug, *Lbl_Tell;
  QPushButton *Btn_OK;

 protected:
  void showEvent(QShowEvent *E) override;
};

inline constexpr const char *ContactMail = "hello@mossgather.org";
inline constexpr const char *BugMail = "bugs@mossgather.org";
