#include "ui/uRenameChk.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "pub/Unit_Pub.h"
#include "pub/uGlobalParm.h"

namespace {

// Anything by that name blocks the target, a folder or a dangling link as
// much as a file, because the save could not write there.
bool PathExists(const std::string &Path) {
  struct stat St;
  return !Path.empty() && ::lstat(Path.c_str(), &St) == 0;
}

bool Contains(const std::vector<std::string> &List, const std::string &S) {
  return std::find(List.begin(), List.end(), S) != List.end();
}

std::string NoTrailingSlash(std::string S) {
  while (S.size() > 1 && S.back() == '/') S.pop_back();
  return S;
}

// The folder holding Dir; "/" for "/a", empty for a bare name or the root.
std::string ParentDir(const std::string &Dir) {
  size_t P = Dir.rfind('/');
  if (P == std::string::npos || Dir == "/") return std::string();
  return P == 0 ? std::string("/") : NoTrailingSlash(Dir.substr(0, P));
}

bool MakeDir(const std::string &Dir) { return ::mkdir(Dir.c_str(), 0777) == 0 || Dir_Exists(Dir); }

// One level of folder creation; Steps bounds the levels of one check so a
// path that can never be made cannot run away.
bool ForceDir(const std::string &Dir, int &Steps) {
  if (Dir_Exists(Dir)) return true;
  if (++Steps > TRenamChk::MaxDirSteps) return false;
  if (MakeDir(Dir)) return Dir_Exists(Dir);
  std::string Parent = ParentDir(Dir);
  if (Parent.empty() || Parent == Dir) return false;
  if (!ForceDir(Parent, Steps)) return false;
  return MakeDir(Dir) && Dir_Exists(Dir);
}

}  // namespace

TRenamChk::TRenamChk(TRenamAsk Ask) : FAsk(std::move(Ask)) {}

bool TRenamChk::ChkFile(std::string &Path) {
  uint8_t Flags = 0;
  if (PathExists(Path)) Flags |= rmExists;
  if (Fn_HasInvalid(Path)) Flags |= rmInvalid;
  if (!Flags) return true;
  return AskRenam(Path, Flags | rmSingle);
}

bool TRenamChk::ChkFList(std::vector<std::string> &Paths, bool Auto) {
  if (Paths.empty()) return true;
  uint8_t Mode = rmList | (Auto ? rmAuto : 0);
  FAccepted.clear();
  for (std::string &Entry : Paths) {
    std::string Lower = LowerCase(Entry);
    if (Contains(FAccepted, Lower) || Fn_HasInvalid(Entry) || PathExists(Entry)) {
      // The new name derives from the lower-case name; the folder keeps its
      // spelling, because on this file system another spelling is another
      // (most likely missing) folder.
      std::string NewPath = Fn_ExtractDir(Entry) + LowerCase(Fn_ExtractName(Entry));
      if (!AskRenam(NewPath, Mode)) return false;
      Entry = NewPath;
      Lower = LowerCase(Entry);
    }
    FAccepted.push_back(Lower);
  }
  return true;
}

bool TRenamChk::ChkDir(const std::string &Folder, bool Create) {
  std::string Dir = NoTrailingSlash(Folder);
  if (Dir.empty()) return false;
  if (Dir_Exists(Dir)) return true;
  if (!Create) return false;
  int Steps = 0;
  return ForceDir(Dir, Steps);
}

bool TRenamChk::AskRenam(std::string &Path, uint8_t Flags) {
  if (GParm.bFlAtRenam) Flags |= rmAuto;
  FMode = Flags;
  FDir = Fn_ExtractDir(Path);
  FName = Fn_NameNoExt(Path);
  // The extension cannot be edited in the question, so a forbidden character
  // there (a URL's query, say) must go here or no name could ever pass.
  FExt = Fn_ExtractExt(Path);
  Fn_ClrInvalid(FExt);
  if ((FMode & rmAuto) || !FAsk) return AtRenam(Path);

  TRenamReply R = FAsk(*this);
  bool Settled = false;
  switch (R.Answer) {
    case TRenamAnswer::Ok:
      Path = FDir + R.NewName + FExt;
      Settled = true;
      break;
    case TRenamAnswer::AutoRename:
      Settled = AtRenam(Path);
      break;
    case TRenamAnswer::Cancel:
      break;
  }
  if (Settled && R.Always) GParm.bFlAtRenam = true;
  return Settled;
}

bool TRenamChk::AtRenam(std::string &Path) const {
  std::string Name = FName;
  Fn_ClrInvalid(Name);
  std::string P = FDir + Name + FExt;
  if (!Fn_MakeUnique(P, (FMode & rmList) ? &FAccepted : nullptr)) return false;
  Path = P;
  return true;
}

TNewFnCheck TRenamChk::ChkNewFn(const std::string &NewName) const {
  // The typed text is the whole file name: a "/" in it would otherwise pass
  // as a folder and put the file elsewhere.
  std::string FileName = NewName + FExt;
  if (NewName.empty() || Fn_HasInvalid(FileName) || FileName.find('/') != std::string::npos) return TNewFnCheck::Invalid;
  std::string P = FDir + FileName;
  if (PathExists(P)) return TNewFnCheck::Exists;
  if ((FMode & rmList) && Contains(FAccepted, LowerCase(P))) return TNewFnCheck::InList;
  return TNewFnCheck::Ok;
}

const char *TRenamChk::NewFnWarning(TNewFnCheck C) {
  switch (C) {
    case TNewFnCheck::Invalid:
      return "INVALID file name, please retry!";
    case TNewFnCheck::Exists:
      return "File EXISTS, please retry!";
    case TNewFnCheck::InList:
      return "The File-name is already in list, please retry!";
    case TNewFnCheck::Ok:
      break;
  }
  return "";
}

std::string TRenamChk::Caption(uint8_t Flags) {
  std::string C = "Rename dialog";
  if (Flags & rmList)
    C += " Checking save file list";
  else if (Flags & rmExists)
    C += " EXISTENT file";
  else if (Flags & rmInvalid)
    C += " INVALID file name";
  return C;
}
