#pragma once
// The checks the editors run on their targets before a save: a target that
// exists, whose name holds a forbidden character, or that repeats another
// target of the same job gets another name, typed by the user or chosen
// automatically. The rename window supplies the question; everything that
// decides lives here so it runs without a display.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Mode flags of one check.
inline constexpr uint8_t rmSingle = 1;    // one file: OK does not look at the accepted names
inline constexpr uint8_t rmList = 2;      // a file list: names avoid the accepted names too
inline constexpr uint8_t rmAuto = 4;      // rename without asking
inline constexpr uint8_t rmExists = 8;    // the target exists
inline constexpr uint8_t rmInvalid = 16;  // the target's name holds a forbidden character

// How the user left the question.
enum class TRenamAnswer { Cancel, Ok, AutoRename };

// The verdict on a name typed into the question.
enum class TNewFnCheck { Ok, Invalid, Exists, InList };

struct TRenamReply {
  TRenamAnswer Answer = TRenamAnswer::Cancel;
  std::string NewName;  // without folder and extension; used with Ok
  bool Always = false;  // "Always auto rename" was checked
};

class TRenamChk;
// Puts the question to the user; the checker's Dir/SrcName/Ext/Mode/Caption
// describe it.
using TRenamAsk = std::function<TRenamReply(TRenamChk &Chk)>;

class TRenamChk {
 public:
  // Without a question every check renames automatically.
  explicit TRenamChk(TRenamAsk Ask = {});

  // True when Path may be used (possibly changed); false when the user cancelled.
  bool ChkFile(std::string &Path);
  // True when the list may be used (entries possibly changed); false when the
  // user cancelled, which the automatic mode never does (unless no free name
  // is left at all). Entries before the cancel keep their new names.
  bool ChkFList(std::vector<std::string> &Paths, bool Auto);
  // True when the folder exists afterwards; with Create, missing folders and
  // parents are made, at most MaxDirSteps levels of them.
  static bool ChkDir(const std::string &Folder, bool Create);
  static constexpr int MaxDirSteps = 50;

  // Settles a name for Path; false when the user cancelled (Path unchanged).
  bool AskRenam(std::string &Path, uint8_t Flags);
  // The automatic name from the current Dir/SrcName/Ext; false (Path
  // unchanged) only when no counter frees the name.
  bool AtRenam(std::string &Path) const;
  // Judges a name typed into the question.
  TNewFnCheck ChkNewFn(const std::string &NewName) const;
  // The warning that refuses a typed name; empty for Ok.
  static const char *NewFnWarning(TNewFnCheck C);
  // The window caption for a check's flags.
  static std::string Caption(uint8_t Flags);

  // The question being asked: folder with trailing "/", name without
  // extension, extension with its dot, mode flags.
  const std::string &Dir() const { return FDir; }
  const std::string &SrcName() const { return FName; }
  const std::string &Ext() const { return FExt; }
  uint8_t Mode() const { return FMode; }
  // Lower-case full paths accepted so far in the current list check.
  const std::vector<std::string> &Accepted() const { return FAccepted; }

 private:
  TRenamAsk FAsk;
  uint8_t FMode = 0;
  std::string FDir, FName, FExt;
  std::vector<std::string> FAccepted;
};
