#pragma once
// The whole program started on the offscreen platform, with jobs made from
// page snapshots and handed to the controller as an editor would.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QObject>
#include <QString>
#include <QUrl>
#include <string>
#include <utility>
#include <vector>

#include "jobs/uJobRec.h"
#include "support/TestSupport.h"

class QTreeWidgetItem;
class TMainForm;

// Catches the files and folders the program hands to the desktop to open.
class TOpenedFiles : public QObject {
  Q_OBJECT
 public:
  TOpenedFiles() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
  ~TOpenedFiles() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
  std::vector<std::string> Paths;
 public slots:
  void Open(const QUrl &U) { Paths.push_back(U.toLocalFile().toStdString()); }
};

struct MonitorFixture : ::testing::Test {
  TTempDir Prg;
  TMainForm *Form = nullptr;

  void SetUp() override;
  void TearDown() override;
  // Starts the program: the first showing of the main window.
  void Open();

  // A job as its editor leaves it before Save: title, kind and file list;
  // the monitor lists it in the queue.
  PJobRec NewJob(const std::string &Title, uint8_t PickCode, const std::vector<std::pair<std::string, std::string>> &Files = {},
                 const std::string &PageUrl = "http://example.test/dir/page.html");
  void Save(const PJobRec &Job);
  bool WaitEnd(const PJobRec &Job, int Ms = 20000);
  // The tree node of a filter value (0 the root).
  QTreeWidgetItem *Node(int Filter);
  void SelectNode(int Filter);
  // The list's rows as "Type|Title|S/T Cnt|Saving Fn|icon?" texts.
  std::vector<std::string> Rows();
  // Selects the rows of these jobs only.
  void Select(const std::vector<PJobRec> &Jobs);
  std::string Memo();
  std::string Log();
};
