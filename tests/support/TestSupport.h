#pragma once
// Shared test support.
#include <string>

// A temporary folder removed with everything in it when the object dies.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir &) = delete;
  TTempDir &operator=(const TTempDir &) = delete;
  // The folder, ending in "/".
  const std::string &Path() const { return FPath; }
  std::string File(const std::string &Name) const { return FPath + Name; }

 private:
  std::string FPath;
};

void WriteFile(const std::string &Path, const std::string &Data);
std::string ReadFile(const std::string &Path);
