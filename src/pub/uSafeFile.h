#pragma once
// Writing a file so that a failure or a killed process never leaves a
// half-written target: the data goes to a hidden temporary file in the
// target's folder (".<name>.mossgather-part-XXXXXX") and only then takes
// the target's name; it is flushed to the disk first when it takes the
// place of an existing file. The temporary file is locked
// while it is in use, so that one left behind by a killed process can be
// told from one still being written; the next write into the same folder
// removes the left-over ones.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TSafeFile {
 public:
  enum class TCommit { Replace, NoReplace };

  TSafeFile() = default;
  ~TSafeFile();  // discards what was not committed
  TSafeFile(const TSafeFile &) = delete;
  TSafeFile &operator=(const TSafeFile &) = delete;

  // Makes the temporary file for Target, first removing the left-over ones of
  // that folder. False with errno set when it cannot be made.
  bool Create(const std::string &Target);
  // False with errno set; the file stays open for Discard.
  bool Write(const char *P, size_t N);
  bool Write(std::string_view S) { return Write(S.data(), S.size()); }
  // Empties the open temporary file, for data that starts over. False with
  // errno set.
  bool Truncate();
  bool IsOpen() const { return FFd >= 0 && !FClosed; }
  // Ends the writing; the file stays held until Commit or Discard. False
  // with errno set.
  bool Close();
  // Gives the closed file the target's name: Replace takes the place of a
  // file there, flushing the data to the disk first; NoReplace fails (errno EEXIST) when there is one. On failure
  // the temporary file is still there for Discard (or the destructor).
  bool Commit(TCommit How);
  // Closes and removes the temporary file.
  void Discard();

  const std::string &TempPath() const { return FPath; }

  // The part every temporary name carries after the target's name.
  static constexpr std::string_view Marker = ".mossgather-part-";
  // Whether a file name (without folder) is one of ours.
  static bool IsTempName(std::string_view Name);
  // Removes the temporary files in Dir that no process holds.
  static void RemoveStale(const std::string &Dir);

  // Test hook: called after each successful Write, with the temporary path.
  static std::function<void(const std::string &)> AfterWrite;

 private:
  std::string FTarget, FPath;
  int FFd = -1;
  bool FClosed = false;  // written and flushed, held for Commit
  // Bytes written, and how far the disk was asked to start writing them.
  uint64_t FWritten = 0, FStarted = 0;
};

// Writes Data as the whole of Path through a TSafeFile, replacing what was
// there. Throws EMossError, naming Path and the system's reason.
void WriteFileAtomic(const std::string &Path, std::string_view Data);
