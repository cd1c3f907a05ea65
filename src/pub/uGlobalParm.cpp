#include "pub/uGlobalParm.h"

#include <cstdlib>

TGlobalParm GParm;

std::string DefaultSaveDir(const char *Sub) {
  const char *H = std::getenv("HOME");
  std::string Dir = std::string(H && *H ? H : "/tmp") + "/Save";
  if (Sub) Dir += std::string("/") + Sub;
  return Dir;
}

std::string DefaultUpdHost() {
  if (const char *E = std::getenv("MOSSGATHER_UPDHOST")) return E;
  return "https://mossgather.org";
}
