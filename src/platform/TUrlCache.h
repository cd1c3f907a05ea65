#pragma once
// The program's own URL cache: a per-user folder holding the bytes of URLs
// the program or the browser extension already fetched, so that saving them
// copies a local file instead of downloading again. Each entry is two files
// named by a hash of its URL: "<hash>.url" holds the URL, "<hash><ext>" the
// bytes. Entries are written through temporary names and renamed, so a
// reader in another thread or process never sees half an entry.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TUrlCache {
 public:
  // Root folder; created on the first Store.
  explicit TUrlCache(std::string Root);

  // $XDG_CACHE_HOME/mossgather/urlcache/ (or ~/.cache/...); MOSSGATHER_URLCACHE
  // points it elsewhere for tests.
  static TUrlCache &Default();
  static std::string DefaultRoot();

  const std::string &Root() const { return FRoot; }

  // Addresses are kept and looked up without user name and password.
  //
  // The local file holding the URL's bytes, or empty when not cached. An
  // entry whose bytes are plainly not the picture its name says (an error
  // page kept under a ".jpg" address) is not used.
  std::string LocalFile(const std::string &Url) const;
  // Stores the bytes; returns the local file. Throws EMossError on failure.
  std::string Store(const std::string &Url, const std::string &Bytes);
  // Every cached URL.
  std::vector<std::string> Entries() const;
  // Removes one entry; false when it was not there or could not go.
  bool Delete(const std::string &Url);

  // Largest entry accepted by Store.
  static constexpr size_t MaxEntryBytes = 256u << 20;

  // False when Ext (".jpg", any letter case) names a picture type and Head
  // (the first bytes) begins no picture at all; true for any other
  // extension, about which the bytes say nothing.
  static bool BytesFitExt(const std::string &Ext, std::string_view Head);

 private:
  std::string KeyOf(const std::string &Url) const;
  std::string DataName(const std::string &Url) const;
  std::string FRoot;
};
