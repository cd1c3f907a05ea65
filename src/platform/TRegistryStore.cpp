#include "platform/TRegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/TIniFile.h"
#include "pub/Unit_Pub.h"

namespace {

// Values are stored as "s:<text>" or "d:<number>"; the default value's name is "@".
std::string ValueName(const std::string &Name) { return Name.empty() ? "@" : Name; }

std::string NormKey(std::string Key) {
  // One spelling per key: backslashes, no leading one, one trailing one.
  Key = StringReplaceAll(Key, "/", "\\");
  while (!Key.empty() && Key.front() == '\\') Key.erase(0, 1);
  if (Key.empty() || Key.back() != '\\') Key += '\\';
  return Key;
}

// Holds an exclusive lock on "<store>.lock" while a writer reads, changes
// and renames the store, so two processes never lose each other's writes.
class TStoreLock {
 public:
  explicit TStoreLock(const std::string &Store) {
    std::error_code Ec;
    std::filesystem::create_directories(std::filesystem::path(Store).parent_path(), Ec);
    Fd = ::open((Store + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (Fd >= 0) ::flock(Fd, LOCK_EX);
  }
  ~TStoreLock() {
    if (Fd >= 0) ::close(Fd);
  }

 private:
  int Fd = -1;
};

void Modify(const std::string &Path, const std::function<void(TIniFile &)> &Fn) {
  TStoreLock Lock(Path);
  TIniFile Ini(Path);
  Fn(Ini);
  Ini.UpdateFile();
}

}  // namespace

TRegistryStore::TRegistryStore(std::string FilePath) : FFilePath(std::move(FilePath)) {}

std::string TRegistryStore::DefaultPath() {
  if (const char *E = std::getenv("MOSSGATHER_REGISTRY"); E && *E) return E;
  return EnvFolder("XDG_CONFIG_HOME", EnvFolder("HOME", "/tmp") + "/.config") + "/mossgather/registry.ini";
}

TRegistryStore TRegistryStore::CurrentUser() { return TRegistryStore(DefaultPath()); }

bool TRegistryStore::KeyExists(const std::string &Key) const {
  TIniFile Ini(FFilePath);
  for (const auto &S : Ini.Sections())
    if (SameText(S, NormKey(Key))) return true;
  return false;
}

bool TRegistryStore::ReadString(const std::string &Key, const std::string &Name, std::string &Out) const {
  TIniFile Ini(FFilePath);
  std::string K = NormKey(Key), N = ValueName(Name);
  if (!Ini.ValueExists(K, N)) return false;
  std::string V = Ini.ReadString(K, N, "");
  if (V.rfind("s:", 0) != 0) return false;
  Out = V.substr(2);
  return true;
}

bool TRegistryStore::ReadInteger(const std::string &Key, const std::string &Name, int32_t &Out) const {
  TIniFile Ini(FFilePath);
  std::string K = NormKey(Key), N = ValueName(Name);
  std::string V = Ini.ReadString(K, N, "");
  if (V.rfind("d:", 0) != 0) return false;
  int32_t R = 0;
  const char *B = V.data() + 2, *E = V.data() + V.size();
  auto Res = std::from_chars(B, E, R);
  if (Res.ec != std::errc() || Res.ptr != E || B == E) return false;
  Out = R;
  return true;
}

void TRegistryStore::CreateKey(const std::string &Key) {
  std::string K = NormKey(Key);
  Modify(FFilePath, [&](TIniFile &Ini) {
    for (const auto &S : Ini.Sections())
      if (SameText(S, K)) return;
    // An empty section is dropped on writing, so a key always carries its
    // default value, empty until written.
    Ini.WriteString(K, "@", "s:");
  });
}

void TRegistryStore::WriteString(const std::string &Key, const std::string &Name, const std::string &Value) {
  Modify(FFilePath, [&](TIniFile &Ini) { Ini.WriteString(NormKey(Key), ValueName(Name), "s:" + Value); });
}

void TRegistryStore::WriteInteger(const std::string &Key, const std::string &Name, int32_t Value) {
  Modify(FFilePath, [&](TIniFile &Ini) { Ini.WriteString(NormKey(Key), ValueName(Name), "d:" + std::to_string(Value)); });
}

bool TRegistryStore::DeleteValue(const std::string &Key, const std::string &Name) {
  bool Found = false;
  Modify(FFilePath, [&](TIniFile &Ini) {
    Found = Ini.ValueExists(NormKey(Key), ValueName(Name));
    Ini.DeleteKey(NormKey(Key), ValueName(Name));
  });
  return Found;
}

bool TRegistryStore::DeleteKey(const std::string &Key) {
  bool Found = false;
  std::string K = LowerCase(NormKey(Key));
  Modify(FFilePath, [&](TIniFile &Ini) {
    for (const auto &S : Ini.Sections())
      if (LowerCase(S).rfind(K, 0) == 0) {
        Ini.EraseSection(S);
        Found = true;
      }
  });
  return Found;
}

std::vector<std::string> TRegistryStore::SubKeys(const std::string &Parent) const {
  TIniFile Ini(FFilePath);
  std::string P = LowerCase(NormKey(Parent));
  std::vector<std::string> Out;
  for (const auto &S : Ini.Sections()) {
    if (S.size() <= P.size() || LowerCase(S).rfind(P, 0) != 0) continue;
    std::string Rest = S.substr(P.size());
    Rest = Rest.substr(0, Rest.find('\\'));
    bool Seen = false;
    for (const auto &O : Out) Seen = Seen || SameText(O, Rest);
    if (!Seen && !Rest.empty()) Out.push_back(Rest);
  }
  return Out;
}
