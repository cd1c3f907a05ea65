#include "support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
