#pragma once
// The options dialog: the settings that steer new jobs (renaming, the
// completion tip, the save folders, the editors' default choices) and the
// program's own (the update check). Every control mirrors one setting, found
// by its cfg.ini key: each showing loads them all, Save stores them all,
// Cancel, Esc and closing store nothing. Nothing is checked here; folders
// are taken as typed and checked where they are used.
#include <QDialog>
#include <QGroupBox>
#include <QStringList>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

// One setting the dialog edits.
using TOptField = std::variant<bool *, uint8_t *, int32_t *, std::string *>;
// The settings by their cfg.ini keys; the program entry supplies them.
using TOptFields = std::map<std::string, TOptField>;

// A framed set of choices of which one is picked, laid out in Columns.
class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  TRadioGroup(const char *Name, const QString &Caption, const QStringList &Items, int Columns, QWidget *Parent);
  // -1 when no choice is picked.
  int ItemIndex() const;
  // A number that names no choice leaves every choice unpicked.
  void SetItemIndex(int Index);
  int Count() const;
  QRadioButton *Button(int Index) const;

 private:
  QButtonGroup *FGroup;
};

class TForm_Option : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char *SelDirTitle = "Please select a directory";

  explicit TForm_Option(QWidget *Parent = nullptr);

  void SetFields(TOptFields Fields);
  // The keys of the settings the controls stand for, in the order of loading.
  std::vector<std::string> Keys() const;
  // Every control takes its setting's value.
  void LoadOpts();
  // Every setting takes its control's value; the window closes.
  void SaveOpts();
  // The folder dialog for an edit, starting at the folder typed there.
  void SelDir(QLineEdit *Edit);

  QTabWidget *PgCtrl_Opt = nullptr;
  // "General "
  TRadioGroup *RGp_AtRenam = nullptr;
  QCheckBox *ChkBox_Cmplt_Msg = nullptr;
  QLineEdit *Ed_Path_Dflt = nullptr, *Ed_Path_Txt = nullptr, *Ed_Path_Img = nullptr, *Ed_Path_Fls = nullptr;
  QPushButton *Btn_Path_Dflt = nullptr, *Btn_Path_Txt = nullptr, *Btn_Path_Img = nullptr, *Btn_Path_Fls = nullptr;
  // "Text"
  TRadioGroup *RGp_Txt_Fmt = nullptr;
  QCheckBox *ChkBox_SavImg = nullptr, *ChkBox_Rmv_Scrp = nullptr;
  QCheckBox *ChkBox_With_URL = nullptr, *ChkBox_With_SavTime = nullptr;
  // "Image"
  TRadioGroup *RGp_Img_fltSiz = nullptr, *RGp_Img_fltTyp = nullptr, *RGp_Img_Sort_Siz = nullptr, *RGp_Img_Sel = nullptr;
  QCheckBox *ChkBox_Img_IgnTiny = nullptr, *ChkBox_Img_IgnBar = nullptr;
  // "Flash"
  TRadioGroup *RGp_Fls_Sort = nullptr, *RGp_Fls_Sel = nullptr;
  // "Advanced": the settings that are the program's own.
  QSpinBox *SpEd_ChkCyc = nullptr;
  QLineEdit *Ed_UpdHost = nullptr;
  QCheckBox *ChkBox_LazyScroll = nullptr;
  QSpinBox *SpEd_PerHost = nullptr, *SpEd_PerJob = nullptr;
  QCheckBox *ChkBox_Tray = nullptr;

  QPushButton *Btn_Save = nullptr;
  QPushButton *Btn_Cancel = nullptr;

 protected:
  void showEvent(QShowEvent *E) override;

 private:
  struct TBind {
    QWidget *Ctrl;
    std::string Key;
  };
  void Bind(QWidget *Ctrl, const char *Key) { FBinds.push_back({Ctrl, Key}); }
  QWidget *BuildGeneral();
  QWidget *BuildText();
  QWidget *BuildImage();
  QWidget *BuildFlash();
  QWidget *BuildAdvanced();

  std::vector<TBind> FBinds;
  TOptFields FFields;
};
