#pragma once
// The program's INI file: sections in square brackets, key=value lines,
// UTF-8. It is read whole when opened and kept in memory; UpdateFile writes
// it to a temporary file beside the target and renames it over the old one,
// so a crash or a full disk never leaves a truncated settings file.
// Section and key names compare without regard to ASCII letter case, as the
// profile functions the format comes from did.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/uLocalFile.h"

class TIniFile {
 public:
  // A settings file is a few kilobytes; anything near this is not one.
  static constexpr size_t MaxBytes = 16u << 20;

  explicit TIniFile(std::string FileName);  // reads the file if it exists

  const std::string &FileName() const { return FFileName; }
  // False when the file exists but could not be read whole (too large, not a
  // regular file, unreadable): the content is then empty, and UpdateFile
  // refuses to write over what it never saw.
  bool ReadWhole() const { return FRead.Ok(); }
  // Why it was not read whole.
  const std::string &ReadError() const { return FRead.Why; }

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
  // system's reason when it cannot (or when the file was not read whole),
  // leaving the old file as it was.
  void UpdateFile() const;
  // The text UpdateFile writes.
  std::string Text() const;
  // Replaces the content with the parse of Text.
  void SetText(const std::string &Text);

 private:
  struct TEntry {
    std::string Key, Value;
  };
  // The entries keep the file's order; the indexes (by the name folded to
  // lower case) keep a long file from taking quadratic time to read.
  struct TSection {
    std::string Name;
    std::vector<TEntry> Entries;
    std::unordered_map<std::string, size_t> Index;
    const TEntry *Find(const std::string &Key) const;
    TEntry *Find(const std::string &Key);
  };
  const TSection *FindSection(const std::string &Name) const;
  TSection &GetSection(const std::string &Name);

  std::string FFileName;
  TReadResult FRead;
  std::vector<TSection> FSections;
  std::unordered_map<std::string, size_t> FIndex;
};
