#include "editors/uVIBPanel.h"

#include <QMouseEvent>
#include <QPainter>

#include "editors/uVIBJobEdtr.h"
#include "platform/TWebBrowser.h"

namespace {

class TPanelImage : public TVIBImage {
 public:
  using TVIBImage::TVIBImage;

 protected:
  void mouseReleaseEvent(QMouseEvent *E) override {
    auto *P = static_cast<TVIBPanel *>(parentWidget());
    if (E->button() == Qt::LeftButton && P->Owner) P->Owner->OnPanelImageUp(P);
    TVIBImage::mouseReleaseEvent(E);
  }
};

}  // namespace

TVIBImage::TVIBImage(QWidget *Parent) : QWidget(Parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void TVIBImage::paintEvent(QPaintEvent *) {
  QPainter P(this);
  P.fillRect(rect(), Back);
  QFont F(QStringLiteral("Tahoma"), 9);
  P.setFont(F);
  // Texts are placed by their top left corner.
  auto Text = [&](int X, int Y, const QString &S) {
    P.drawText(QRect(X, Y, width() - X - 2, 16), Qt::AlignLeft | Qt::AlignTop, S);
  };
  if (ShowType) {
    P.setPen(QColor(0, 0, 255));
    Text(160, 18, TypeText);
  }
  if (!Note.isEmpty()) {
    P.setPen(NoteWarns ? QColor(170, 0, 0) : Qt::black);
    P.drawText(QRect(160, 34, width() - 162, 28), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Note);
  }
  P.setPen(Qt::black);
  Text(160, 63, SizeLine);
  Text(160, 78, BytesLine);
  P.setBrush(Qt::NoBrush);
  P.drawRect(rect().adjusted(0, 0, -1, -1));
}

std::vector<TVIBPanel *> &TVIBPanel::Registry() {
  static std::vector<TVIBPanel *> Panels;
  return Panels;
}

const std::vector<TVIBPanel *> &TVIBPanel::All() { return Registry(); }

TVIBPanel::TVIBPanel(QWidget *Box) : QFrame(Box) {
  Registry().push_back(this);
  setFrameShape(QFrame::NoFrame);
  setGeometry(2, 0, 245, 106);
  setProperty("ItemPanel", true);
  setFocusPolicy(Qt::ClickFocus);  // holds the keys of an item that cannot be checked
  Image = new TPanelImage(this);
  Image->setGeometry(rect());
  ChkBox = new QCheckBox(this);
  ChkBox->setObjectName(QStringLiteral("ChkBox"));
  ChkBox->setGeometry(215, 18, 18, 18);
  ChkBox->setAutoFillBackground(true);
  SetCheckColor(VIBNormalColor);
  QObject::connect(ChkBox, &QCheckBox::clicked, this, [this] {
    if (Owner) Owner->OnPanelCheckClick(this);
  });
  Browser = new TLightBrowser(this);
  Browser->Widget()->setGeometry(9, 7, 135, 90);
  // Only a blank page may be shown before an item is linked.
  QObject::connect(Browser, &TWebBrowser::BeforeNavigate, this, &TVIBJobEdtr::OnWBBefNavgate);
  QObject::connect(Browser, &TWebBrowser::NewWindow, this, [](bool *Cancel) { *Cancel = true; });
  Browser->Navigate(QUrl(QStringLiteral("about:blank")));
  setProperty("Browser", QVariant::fromValue(static_cast<TWebBrowser *>(Browser)));
}

TVIBPanel::~TVIBPanel() { std::erase(Registry(), this); }

QWidget *TVIBPanel::KeyTarget() { return ChkBox->isEnabled() ? static_cast<QWidget *>(ChkBox) : this; }

void TVIBPanel::SetCheckColor(const QColor &C) {
  QPalette Pal = ChkBox->palette();
  Pal.setColor(QPalette::Window, C);
  Pal.setColor(QPalette::Button, C);
  ChkBox->setPalette(Pal);
}
