#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pub/uSafeFile.h"

TTempDir::TTempDir() {
  std::string Tmpl = (std::filesystem::temp_directory_path() / "mossgather-test-XXXXXX").string();
  if (!mkdtemp(Tmpl.data())) throw std::runtime_error("mkdtemp failed for " + Tmpl + ": " + std::strerror(errno));
  FPath = Tmpl + "/";
}

TTempDir::~TTempDir() {
  std::error_code Ec;
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, Ec);
  std::filesystem::remove_all(FPath, Ec);
}

void WriteFile(const std::string &Path, const std::string &Data) {
  std::ofstream F(Path, std::ios::binary | std::ios::trunc);
  if (!F) throw std::runtime_error("cannot write " + Path);
  F << Data;
}

std::string ReadFile(const std::string &Path) {
  std::ifstream F(Path, std::ios::binary);
  std::ostringstream S;
  S << F.rdbuf();
  return S.str();
}

TFifoTrap::TFifoTrap(std::string Path, std::string Data) : FPath(std::move(Path)), FData(std::move(Data)) {
  if (::mkfifo(FPath.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed: " + FPath);
  FWatch = std::thread([this] {
    while (!FStop) {
      // Succeeds only while a reader has the FIFO open or waits in open().
      int Fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (Fd >= 0) {
        FOpened = true;
        (void)!::write(Fd, FData.data(), FData.size());
        ::close(Fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
}

TFifoTrap::~TFifoTrap() {
  FStop = true;
  FWatch.join();
}

std::string ZCompress(const std::string &Data, int WindowBits) {
  z_stream Z{};
  if (deflateInit2(&Z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
  std::string Out(deflateBound(&Z, Data.size()), '\0');
  Z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(Data.data()));
  Z.avail_in = static_cast<uInt>(Data.size());
  Z.next_out = reinterpret_cast<Bytef *>(Out.data());
  Z.avail_out = static_cast<uInt>(Out.size());
  int Rc = deflate(&Z, Z_FINISH);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Rc == Z_STREAM_END ? Out : "";
}

std::vector<std::string> FolderNames(const std::string &Dir) {
  std::vector<std::string> Out;
  for (const auto &E : std::filesystem::directory_iterator(Dir)) Out.push_back(E.path().filename().string());
  std::sort(Out.begin(), Out.end());
  return Out;
}

std::vector<std::string> TempFileNames(const std::string &Dir) {
  std::vector<std::string> Out;
  for (const std::string &N : FolderNames(Dir))
    if (TSafeFile::IsTempName(N)) Out.push_back(N);
  return Out;
}
