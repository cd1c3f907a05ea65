// A process that starts one of the program's file writes and stops for good
// in the middle of it, for tests that kill it there:
//   safe_write_child settings MARKER CFG_INI
//   safe_write_child download MARKER TARGET URL
//   safe_write_child copy     MARKER TARGET SOURCE
// After the first piece of data reaches the temporary file it writes that
// file's path to MARKER and waits to be killed. Exit 3: the write ended
// without ever writing; 2: bad arguments.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "control/uParmFile.h"
#include "jobs/uJobSave.h"
#include "net/Unit_httpDown.h"
#include "platform/TIniFile.h"
#include "pub/uSafeFile.h"

int main(int Argc, char **Argv) {
  if (Argc < 4) return 2;
  const std::string Mode = Argv[1], Marker = Argv[2], Target = Argv[3];
  const std::string Extra = Argc > 4 ? Argv[4] : "";
  TSafeFile::AfterWrite = [Marker](const std::string &Tmp) {
    const std::string Part = Marker + ".new";
    if (FILE *F = std::fopen(Part.c_str(), "w")) {
      std::fputs(Tmp.c_str(), F);
      std::fclose(F);
      std::rename(Part.c_str(), Marker.c_str());
    }
    for (;;) ::pause();
  };
  if (Mode == "settings") {
    TIniFile Ini(Target);
    TGlobalParm P;
    P.sDir_Def = "/a/new/folder/";
    SaveGParm(Ini, P, TLiveLayout{});
  } else if (Mode == "download") {
    THttpDownFile D;
    D.DownLoad(Extra, Target, "", "", 10);
  } else if (Mode == "copy") {
    CopyNew(Extra, Target);
  } else {
    return 2;
  }
  return 3;
}
