#include "ui/UForm_About.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "pub/uRunVars.h"
#include "ui/Unit_PubWnd.h"

namespace {
QLabel *Link(QWidget *Parent, const char *Name, const QString &Text, const std::function<void()> &Open) {
  auto *L = new QLabel(QStringLiteral("<a href=\"#\">%1</a>").arg(Text.toHtmlEscaped()), Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setTextFormat(Qt::RichText);
  L->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  QObject::connect(L, &QLabel::linkActivated, L, [Open] { Open(); });
  return L;
}
}  // namespace

TFrm_About::TFrm_About(QWidget *Parent) : QDialog(Parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("Frm_About"));
  setWindowTitle(QStringLiteral("About Mossgather"));
  auto *V = new QVBoxLayout(this);
  V->setContentsMargins(0, 0, 0, 12);
  V->setSpacing(10);

  Img_Banner = new QLabel(this);
  Img_Banner->setObjectName(QStringLiteral("Img_Banner"));
  QPixmap Banner(QString::fromStdString(ProgramDir() + "about.png"));
  if (Banner.isNull()) {
    Img_Banner->setText(QStringLiteral("Mossgather"));
    Img_Banner->setStyleSheet(
        QStringLiteral("background:#2c6e49; color:#f2e8cf; font-size:22pt; font-weight:bold; padding:18px;"));
  } else {
    Img_Banner->setPixmap(Banner);
  }
  Img_Banner->setAlignment(Qt::AlignCenter);
  V->addWidget(Img_Banner);

  auto *G = new QGridLayout();
  G->setContentsMargins(24, 0, 24, 0);
  G->setHorizontalSpacing(12);
  G->setVerticalSpacing(6);
  G->addWidget(new QLabel(QStringLiteral("Version:"), this), 0, 0);
  Lbl_Version = new QLabel(QStringLiteral("0.12"), this);
  Lbl_Version->setObjectName(QStringLiteral("Lbl_Version"));
  G->addWidget(Lbl_Version, 0, 1);
  G->addWidget(new QLabel(QStringLiteral("Home page:"), this), 1, 0);
  Lbl_HomePage = Link(this, "Lbl_HomePage", QString::fromLatin1(HomePageUrl), [] { Shell_Open(HomePageUrl); });
  G->addWidget(Lbl_HomePage, 1, 1);
  G->addWidget(new QLabel(QStringLiteral("Contact:"), this), 2, 0);
  Lbl_Contact =
      Link(this, "Lbl_Contact", QString::fromLatin1(ContactMail), [] { Shell_Open(std::string("mailto:") + ContactMail); });
  G->addWidget(Lbl_Contact, 2, 1);
  Lbl_Bug = Link(this, "Lbl_Bug", QStringLiteral("Report a bug"),
                 [] { Shell_Open(std::string("mailto:") + BugMail + "?subject=Mossgather%200.12%20bug%20report"); });
  G->addWidget(Lbl_Bug, 3, 0, 1, 2);
  Lbl_Tell = Link(this, "Lbl_Tell", QStringLiteral("Tell a friend"), [] { Pub_TellFriend(); });
  G->addWidget(Lbl_Tell, 4, 0, 1, 2);
  G->setColumnStretch(1, 1);
  V->addLayout(G);

  auto *B = new QHBoxLayout();
  B->addStretch(1);
  Btn_OK = new QPushButton(QStringLiteral("OK"), this);
  Btn_OK->setObjectName(QStringLiteral("Btn_OK"));
  Btn_OK->setDefault(true);
  connect(Btn_OK, &QPushButton::clicked, this, &QDialog::accept);
  B->addWidget(Btn_OK);
  B->addSpacing(12);
  V->addLayout(B);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TFrm_About::showEvent(QShowEvent *E) {
  QDialog::showEvent(E);
  if (QWidget *P = parentWidget()) move(P->geometry().center() - rect().center());
}
