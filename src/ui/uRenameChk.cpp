#include "ui/uRenameChk.h"

#include "pub/Unit_Pub.h"

bool ChkDir(const std::string &Folder, bool Create) { return Dir_Exists(Folder) || (Create && Dir_Force(Folder)); }
bool ChkFile(std::string &Path) {
  Fn_MakeUnique(Path);
  return true;
}
bool ChkFList(std::vector<std::string> &Paths, bool) {
  std::vector<std::string> Taken;
  for (auto &P : Paths) {
    Fn_MakeUnique(P, &Taken);
    Taken.push_back(P);
  }
  return true;
}
