#pragma once
// The per-user key store that stands in for the current user's registry:
// keys by path ("Software\Mossgather\"), each with named values typed as
// string or 32-bit number; the empty name is the key's default value. Kept
// in ~/.config/mossgather/registry.ini (MOSSGATHER_REGISTRY points it
// elsewhere), re-read on every call so that what the installer or another
// copy wrote is seen at once, and written atomically under a file lock.
// Key paths compare without regard to letter case, as the registry's did.
#include <cstdint>
#include <string>
#include <vector>

class TRegistryStore {
 public:
  explicit TRegistryStore(std::string FilePath);
  static TRegistryStore CurrentUser();
  static std::string DefaultPath();

  const std::string &FilePath() const { return FFilePath; }

  bool KeyExists(const std::string &Key) const;
  // False when the key or the value is missing or of the other type.
  bool ReadString(const std::string &Key, const std::string &Name, std::string &Out) const;
  bool ReadInteger(const std::string &Key, const std::string &Name, int32_t &Out) const;
  // Create the key when needed; throw EMossError when the store cannot be written.
  void CreateKey(const std::string &Key);
  void WriteString(const std::string &Key, const std::string &Name, const std::string &Value);
  void WriteInteger(const std::string &Key, const std::string &Name, int32_t Value);
  bool DeleteValue(const std::string &Key, const std::string &Name);
  // Removes the key and every key below it; false when there was none.
  bool DeleteKey(const std::string &Key);
  // The keys directly below Parent, by their last path component.
  std::vector<std::string> SubKeys(const std::string &Parent) const;

 private:
  std::string FFilePath;
};
