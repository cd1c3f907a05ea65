// mossgather-reg: reads and writes the per-user key store, for the
// installer and for checking a set-up by hand.
//   mossgather-reg get KEY NAME
//   mossgather-reg set KEY NAME VALUE      (a string value)
//   mossgather-reg setnum KEY NAME NUMBER  (a 32-bit number)
//   mossgather-reg delete KEY [NAME]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/TRegistryStore.h"

namespace {
int Usage() {
  std::fprintf(stderr,
               "usage: mossgather-reg get KEY NAME | set KEY NAME VALUE | setnum KEY NAME NUMBER | delete KEY [NAME]\n"
               "NAME \"\" is the key's default value.\n");
  return 2;
}
}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return Usage();
  std::string Verb = argv[1], Key = argv[2];
  TRegistryStore Reg = TRegistryStore::CurrentUser();
  try {
    if (Verb == "get" && argc == 4) {
      std::string S;
      int32_t N = 0;
      if (Reg.ReadString(Key, argv[3], S))
        std::printf("%s\n", S.c_str());
      else if (Reg.ReadInteger(Key, argv[3], N))
        std::printf("%d\n", N);
      else
        return 1;
      return 0;
    }
    if (Verb == "set" && argc == 5) {
      Reg.WriteString(Key, argv[3], argv[4]);
      return 0;
    }
    if (Verb == "setnum" && argc == 5) {
      char *End = nullptr;
      long V = std::strtol(argv[4], &End, 10);
      if (!*argv[4] || *End || V < INT32_MIN || V > INT32_MAX) return Usage();
      Reg.WriteInteger(Key, argv[3], static_cast<int32_t>(V));
      return 0;
    }
    if (Verb == "delete" && (argc == 3 || argc == 4)) {
      bool Found = argc == 4 ? Reg.DeleteValue(Key, argv[3]) : Reg.DeleteKey(Key);
      return Found ? 0 : 1;
    }
  } catch (const std::exception &E) {
    std::fprintf(stderr, "mossgather-reg: %s\n", E.what());
    return 1;
  }
  return Usage();
}
