#include "platform/TUrlCache.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/uLocalFile.h"
#include "pub/Unit_Pub.h"
#include "pub/uMossError.h"
#include "pub/uSafeFile.h"

TUrlCache::TUrlCache(std::string Root) : FRoot(std::move(Root)) {
  if (!FRoot.empty() && FRoot.back() != '/') FRoot += '/';
}

std::string TUrlCache::DefaultRoot() {
  if (const char *E = std::getenv("MOSSGATHER_URLCACHE"); E && *E) return E;
  return EnvFolder("XDG_CACHE_HOME", EnvFolder("HOME", "/tmp") + "/.cache") + "/mossgather/urlcache/";
}

TUrlCache &TUrlCache::Default() {
  static TUrlCache Cache(DefaultRoot());
  return Cache;
}

std::string TUrlCache::KeyOf(const std::string &Url) const {
  QByteArray H = QCryptographicHash::hash(QByteArray::fromStdString(Url), QCryptographicHash::Sha256).toHex();
  return H.left(40).toStdString();
}

std::string TUrlCache::DataName(const std::string &Url) const {
  // Keep a short, harmless extension so the local copy shows its type.
  std::string Path = Url.substr(0, Url.find_first_of("?#"));
  std::string Name = Path.substr(Path.rfind('/') == std::string::npos ? 0 : Path.rfind('/') + 1);
  std::string Ext;
  if (size_t Dot = Name.rfind('.'); Dot != std::string::npos && Name.size() - Dot <= 6) {
    Ext = Name.substr(Dot);
    for (size_t I = 1; I < Ext.size(); ++I)
      if (!std::isalnum(static_cast<unsigned char>(Ext[I]))) {
        Ext.clear();
        break;
      }
  }
  return KeyOf(Url) + (Ext.empty() ? ".bin" : Ext);
}

bool TUrlCache::BytesFitExt(const std::string &Ext, std::string_view Head) {
  auto Starts = [&](std::string_view Magic, size_t At = 0) {
    return Head.size() >= At + Magic.size() && Head.substr(At, Magic.size()) == Magic;
  };
  const std::string E = LowerCase(Ext);
  static const char *const PictureExts[] = {".jpg",  ".jpeg", ".jpe", ".jfif", ".png",  ".gif", ".bmp",
                                            ".webp", ".ico",  ".tif", ".tiff", ".avif", ".heic"};
  if (std::find(std::begin(PictureExts), std::end(PictureExts), E) == std::end(PictureExts)) return true;
  // Servers often give one picture format under another's name, and the
  // browser shows it all the same; what is refused is what is no picture at
  // all, such as an error page kept under a picture's address.
  return Starts("\xFF\xD8\xFF") || Starts("\x89PNG\r\n\x1A\n") || Starts("GIF87a") || Starts("GIF89a") || Starts("BM") ||
         (Starts("RIFF") && Starts("WEBP", 8)) || Starts(std::string_view("\0\0\1\0", 4)) ||
         Starts(std::string_view("II*\0", 4)) || Starts(std::string_view("MM\0*", 4)) || Starts("ftyp", 4);
}

std::string TUrlCache::LocalFile(const std::string &AUrl) const {
  const std::string Url = Url_NoUserInfo(AUrl);
  if (Url.empty()) return {};
  std::string Stored;
  if (!ReadWholeFile(FRoot + KeyOf(Url) + ".url", Stored, 1u << 20) || Stored != Url) return {};
  const std::string Name = DataName(Url);
  std::string Data = FRoot + Name;
  struct stat St;
  if (::stat(Data.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return {};
  // The bytes must at least begin as the picture the address names.
  char Head[16];
  std::string_view Got;
  if (FILE *F = std::fopen(Data.c_str(), "rb")) {
    Got = std::string_view(Head, std::fread(Head, 1, sizeof Head, F));
    std::fclose(F);
  }
  if (!BytesFitExt(Fn_ExtractExt(Name), Got)) return {};
  return Data;
}

std::string TUrlCache::Store(const std::string &AUrl, const std::string &Bytes) {
  // The index never holds a password: an address is kept without its user
  // information, and looked up the same way.
  const std::string Url = Url_NoUserInfo(AUrl);
  if (Url.empty()) throw EMossError("Cannot cache an empty URL");
  if (Bytes.size() > MaxEntryBytes) throw EMossError("Cache entry too large: " + Url);
  std::error_code Ec;
  std::filesystem::create_directories(FRoot, Ec);
  std::string Data = FRoot + DataName(Url);
  WriteFileAtomic(Data, Bytes);
  WriteFileAtomic(FRoot + KeyOf(Url) + ".url", Url);
  return Data;
}

std::vector<std::string> TUrlCache::Entries() const {
  std::vector<std::string> Out;
  DIR *D = ::opendir(FRoot.c_str());
  if (!D) return Out;
  while (dirent *E = ::readdir(D)) {
    std::string N = E->d_name;
    if (N.size() < 5 || N.compare(N.size() - 4, 4, ".url") != 0) continue;
    std::string Url;
    if (ReadWholeFile(FRoot + N, Url, 1u << 20) && !Url.empty()) Out.push_back(Url);
  }
  ::closedir(D);
  return Out;
}

bool TUrlCache::Delete(const std::string &AUrl) {
  const std::string Url = Url_NoUserInfo(AUrl);
  std::string Key = FRoot + KeyOf(Url) + ".url";
  if (::access(Key.c_str(), F_OK) != 0) return false;
  ::unlink((FRoot + DataName(Url)).c_str());
  return ::unlink(Key.c_str()) == 0;
}
