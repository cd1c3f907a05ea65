#pragma once
// Shared test support.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
// The names in a folder, sorted; and those of them that are unfinished
// safe-write files.
std::vector<std::string> FolderNames(const std::string &Dir);
std::vector<std::string> TempFileNames(const std::string &Dir);
inline bool Contains(const std::string &S, const std::string &Part) { return S.find(Part) != std::string::npos; }

// A FIFO that must never be read. A reader that blocks in opening it is
// let go (a writer opens it, writes Data and closes), so a faulty reader
// fails its test instead of hanging it; Opened() tells whether anyone did.
class TFifoTrap {
 public:
  explicit TFifoTrap(std::string Path, std::string Data = "read from a FIFO");
  ~TFifoTrap();
  TFifoTrap(const TFifoTrap &) = delete;
  TFifoTrap &operator=(const TFifoTrap &) = delete;
  const std::string &Path() const { return FPath; }
  bool Opened() const { return FOpened; }

 private:
  std::string FPath, FData;
  std::atomic<bool> FOpened{false}, FStop{false};
  std::thread FWatch;
};

// Data compressed with zlib at the default level: WindowBits 31 gives the
// gzip format, 15 the zlib wrapper, -15 raw deflate. Empty on failure.
std::string ZCompress(const std::string &Data, int WindowBits);
