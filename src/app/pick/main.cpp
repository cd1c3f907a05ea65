// mossgather-pick METHOD SNAPSHOT.json [--elem N]: sends one request built
// from a page snapshot to the running copy, as the browser extension does,
// and prints the reply's status.
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control/Unit_IPicker.h"
#include "platform/TChannelClient.h"
#include "platform/TIniFile.h"
#include "platform/TPageSnapshot.h"
#include "platform/TRuntimeDir.h"
#include "pub/uRunVars.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: mossgather-pick METHOD SNAPSHOT.json [--elem N] [--timeout SECONDS]\n"
               "METHOD: SaveSnippet, SaveFullPage, SaveOneImg, SaveImages or SaveFlash\n");
  return 2;
}
}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return Usage();
  const TPickerMethod *M = FindPickerMethod(argv[1]);
  if (!M) return Usage();
  int Elem = -1, Timeout = 30;
  for (int I = 3; I < argc; ++I) {
    if (std::strcmp(argv[I], "--elem") == 0 && I + 1 < argc)
      Elem = std::atoi(argv[++I]);
    else if (std::strcmp(argv[I], "--timeout") == 0 && I + 1 < argc)
      Timeout = std::atoi(argv[++I]);
    else
      return Usage();
  }
  std::string Json;
  if (!ReadWholeFile(argv[2], Json, TPageSnapshot::MaxBytes + 1)) {
    std::fprintf(stderr, "mossgather-pick: cannot read %s (or it is over 64 MiB)\n", argv[2]);
    return 1;
  }
  QJsonParseError Pe{};
  QJsonDocument Doc = QJsonDocument::fromJson(QByteArray::fromStdString(Json), &Pe);
  if (Pe.error != QJsonParseError::NoError || !Doc.isObject()) {
    std::fprintf(stderr, "mossgather-pick: %s is not a JSON object\n", argv[2]);
    return 1;
  }
  QJsonObject Snap = Doc.object();
  if (Elem >= 0) Snap.insert(QStringLiteral("element"), Elem);
  QJsonObject Msg;
  Msg.insert(QStringLiteral("method"), QString::fromLatin1(M->Name));
  Msg.insert(QStringLiteral("dispid"), M->DispId);
  Msg.insert(QStringLiteral("snapshot"), Snap);
  std::string Reply, Err;
  try {
    if (!Channel_Request(ChannelPath(AppTitle), QJsonDocument(Msg).toJson(QJsonDocument::Compact).toStdString(), Reply,
                         Timeout * 1000, &Err)) {
      std::fprintf(stderr, "mossgather-pick: Mossgather does not answer: %s\n", Err.c_str());
      return 1;
    }
  } catch (const std::exception &E) {
    std::fprintf(stderr, "mossgather-pick: %s\n", E.what());
    return 1;
  }
  QJsonObject R = QJsonDocument::fromJson(QByteArray::fromStdString(Reply)).object();
  int Status = R.value(QStringLiteral("status")).toInt(1);
  std::printf("status %d\n", Status);
  if (R.contains(QStringLiteral("error"))) std::printf("%s\n", R.value(QStringLiteral("error")).toString().toUtf8().constData());
  return Status == 0 ? 0 : 1;
}
