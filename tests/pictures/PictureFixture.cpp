#include "pictures/PictureFixture.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "editors/uThumbLoader.h"
#include "pub/uGlobalParm.h"
#include "pub/uRunVars.h"
#include "support/TQtSupport.h"

bool TPictureHost::EditWindowShowing() { return Form_EditJob && Form_EditJob->isVisible(); }
bool TPictureHost::EditWindowClosing() { return Form_EditJob && Form_EditJob->InFormClose; }
TJobRec *TPictureHost::EditJob() { return ::EditJob.get(); }
void TPictureHost::EditWindowToFront() {
  if (Form_EditJob) Form_EditJob->Frm_ToFront();
}
void TPictureHost::PressEditCancel() {
  if (Form_EditJob) Form_EditJob->Btn_Cancel->click();
}
void TPictureHost::ChooseEditor(uint8_t Kind) { CurEditor = Kind == jkOneImage || Kind == jkAllImages ? JE_Img : nullptr; }
void TPictureHost::StartEditor(const PJobRec &Job) {
  if (!CurEditor) throw EMossError("No editor for this kind of job");
  CurEditor->EJob_Start(Job);
}

void PictureFixture::SetUp() {
  SetLogger(&Log);
  ::setenv("MOSSGATHER_PRGDIR", Dir.Path().c_str(), 1);
  PrgDir = Dir.Path();
  GParm = TGlobalParm();
  InitFailed = false;
  SysState = 1;
  Settings = TImgSettings();
  Settings.Dir = Dir.File("save/Image");
  Ctrl = std::make_unique<TJobCtrl>(Host);
  JobCtrl = Ctrl.get();
  Img = std::make_unique<TImgJobEdtr>([this] { return Settings; });
  if (!Form_EditJob) new TForm_EditJob();
  // Every test starts without decoded pictures or remembered failures.
  TThumbLoader::Default().Release();
}

void PictureFixture::TearDown() {
  if (Form_EditJob->isVisible()) Form_EditJob->Btn_Cancel->click();
  Ctrl.reset();
  JobCtrl = nullptr;
  CurEditor = nullptr;
  EditJob.reset();
  Img.reset();
  SetLogger(nullptr);
}

PJobRec PictureFixture::Open(uint8_t PickCode, const TSnapshotBuilder &Page) {
  TPageSnapshot S = Page.Parse();
  EXPECT_TRUE(Ctrl->Flow_Begin(S.Window(), PickCode, S.Element()));
  Ctrl->EditTimer().stop();
  Ctrl->OnEditTimer();
  // Keys reach the box only while its window is the active one.
  if (Form_EditJob->isVisible()) SpinUntil([] { return QApplication::activeWindow() == Form_EditJob; }, 2000);
  return Ctrl->JobList().empty() ? nullptr : Ctrl->JobList().back();
}

bool PictureFixture::Save() {
  Form_EditJob->Btn_Save->click();
  return !Form_EditJob->isVisible();
}

std::string PictureFixture::LogText() {
  Log.FlushToFile();
  return ReadFile(Dir.File("log.txt"));
}

TVIBPanel *PictureFixture::PanelAt(size_t I) const { return I < Img->ItemList.size() ? Img->PanelOf(Img->ItemList[I]) : nullptr; }

std::vector<std::string> PictureFixture::ShownUrls() const {
  std::vector<std::string> Out;
  for (TVIBItem *I : Img->ItemList) Out.push_back(I->Url);
  return Out;
}

std::vector<bool> PictureFixture::Checks() const {
  std::vector<bool> Out;
  for (size_t I = 0; I < Img->ItemList.size(); ++I) Out.push_back(PanelAt(I) && PanelAt(I)->ChkBox->isChecked());
  return Out;
}

std::string PictureFixture::Status(int Panel) const { return Form_EditJob->StaBar_Panels[Panel]->text().toStdString(); }

std::string PictureBytes(const char *Format, int W, int H, QColor Color) {
  if (std::string(Format) == "GIF") {
    // A 1 x 1 GIF: Qt reads GIF but does not write it.
    static const unsigned char Gif[] = {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0, 0, 0,   0,
                                        0,   0x2c, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, 0x3b};
    return std::string(reinterpret_cast<const char *>(Gif), sizeof Gif);
  }
  QImage Img(W, H, QImage::Format_RGB32);
  Img.fill(Color);
  QByteArray B;
  QBuffer Buf(&B);
  Buf.open(QIODevice::WriteOnly);
  Img.save(&Buf, Format);
  return B.toStdString();
}
