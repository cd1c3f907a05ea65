#pragma once
// One panel of the visual item box: 245 x 106 pixels holding the drawn
// caption (type, pixel size, byte size) under everything, the check box that
// marks the item for saving, and the small browser that shows the
// thumbnail. Panels belong to the edit window's item box and are reused from
// job to job; the editor that links an item to a panel answers its events.
#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QString>
#include <vector>

class TLightBrowser;
class TVIBJobEdtr;
struct TVIBItem;

// The panel's colours: the box's own and that of the current item.
inline const QColor VIBNormalColor(211, 208, 180);
inline const QColor VIBCurrentColor(252, 190, 139);

// The panel's background with the caption drawn on it.
class TVIBImage : public QWidget {
 public:
  explicit TVIBImage(QWidget *Parent);
  QColor Back = VIBNormalColor;
  bool ShowType = true;  // movies have no type to show
  QString TypeText, SizeLine, BytesLine;
  // A short note under the type ("HLS stream list"); a warning colour when
  // the item cannot be saved.
  QString Note;
  bool NoteWarns = false;

 protected:
  void paintEvent(QPaintEvent *E) override;
};

class TVIBPanel : public QFrame {
 public:
  explicit TVIBPanel(QWidget *Box);
  ~TVIBPanel() override;

  TVIBImage *Image;
  QCheckBox *ChkBox;
  TLightBrowser *Browser;
  // The item the panel shows, and the editor that linked it; both set by
  // linking, the item cleared when the editor frees its items.
  TVIBItem *Item = nullptr;
  TVIBJobEdtr *Owner = nullptr;

  void SetCheckColor(const QColor &C);
  // Where the keys of the current item go: its check box, or the panel
  // itself when the box cannot be checked (a disabled box takes no focus,
  // and the keys would stop moving between the items).
  QWidget *KeyTarget();

  // Every panel in the order of making, which is the box's order: the item
  // box asks for a panel by its number for every item it touches.
  static const std::vector<TVIBPanel *> &All();

 private:
  static std::vector<TVIBPanel *> &Registry();
};
