#pragma once
// The program's INI file: sections in square brackets, key=value lines,
// UTF-8. It is read whole when opened and kept in memory; UpdateFile writes
// it to a temporary file beside the target and renames it over the old one,
// so a crash or a full disk never leaves a truncated settings file.
// Section and key names compare without regard to ASCII letter case, as the
// profile functions the format comes from did.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/uLocalFile.h"

class TIniFile {
 public:
  explicit TIniFile(std::string FileName);  // reads the file if it exists

  const std::string &FileName() const { return FFileName; }

  std::string ReadString(const std::string &Section, const std::string &Key, const std::string &Default) const;
  // A missing key or a value that is not a whole decimal number in 32-bit
  // range reads as the default.
  int32_t ReadInteger(const std::string &Section, const std::string &Key, int32_t Default) const;
  // Read as an integer; any value other than 0 is true.
  bool ReadBool(const std::string &Section, const std::string &Key, bool Default) const;
  bool ValueExists(const std::string &Section, const std::string &Key) const;

  void WriteString(const std::string &Section, const std::string &Key, const std::string &Value);
  void WriteInteger(const std::string &Section, const std::string &Key, int32_t Value);
  void WriteBool(const std::string &Section, const std::string &Key, bool Value);

  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(const std::string &Section) const;
  void EraseSection(const std::string &Section);
  void DeleteKey(const std::string &Section, const std::string &Key);
  void Clear();  // forget every section (the file is untouched until UpdateFile)

  // Writes the whole content; throws EMossError naming the file and the
  // system's reason when it cannot, leaving the old file as it was.
  void UpdateFile() const;
  // The text UpdateFile writes.
  std::string Text() const;
  // Replaces the content with the parse of Text.
  void SetText(const std::string &Text);

 private:
  struct TEntry {
    std::string Key, Value;
  };
  struct TSection {
    std::string Name;
    std::vector<TEntry> Entries;
  };
  const TSection *FindSection(const std::string &Name) const;
  TSection &GetSection(const std::string &Name);

  std::string FFileName;
  std::vector<TSection> FSections;
};

// Writes Data to Path through a temporary file in the same folder, flushed
// to disk before it is renamed over Path. Throws EMossError on failure.
void WriteFileAtomic(const std::string &Path, const std::string &Data);
