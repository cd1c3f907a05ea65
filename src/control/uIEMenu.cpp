#include "control/uIEMenu.h"

#include "control/Unit_IPicker.h"
#include "platform/TRegistryStore.h"
#include "platform/TUrlCache.h"
#include "pub/Unit_Pub.h"

void ChkIEScripts(const std::string &Folder) {
  for (const auto &M : IEMenuItems)
    if (!File_Exists(Folder + M.Script)) throw EMossError("Can not find script files, please reinstall this program!");
}

void RegIEMenu(const std::string &PrgDir, TRegistryStore &Reg) {
  std::string Folder = PrgDir + "IEMenu/";
  ChkIEScripts(Folder);
  for (const auto &M : IEMenuItems) {
    std::string Key = std::string(RegKeyMenuExt) + M.Title;
    try {
      Reg.WriteString(Key, "", Folder + M.Script);
      Reg.WriteInteger(Key, "Contexts", M.Contexts);
    } catch (const std::exception &) {
      throw EMossError(Format("Fail to register IE buttons, Cannot open/create key: %s", {Key}));
    }
  }
}

void ClrIECache(TUrlCache &Cache) {
  // Every entry is tried once; an entry that will not go does not stop the rest.
  for (const auto &Url : Cache.Entries()) Cache.Delete(Url);
}

std::vector<std::string> MenuContexts(int32_t Contexts) {
  std::vector<std::string> Out;
  if (Contexts & 0x01) Out.push_back("page");
  if (Contexts & 0x02) Out.push_back("image");
  if (Contexts & 0x10) Out.push_back("selection");
  if (Contexts & 0x20) Out.push_back("link");
  return Out;
}

std::vector<TMenuEntry> RegisteredMenus(const TRegistryStore &Reg) {
  std::vector<TMenuEntry> Out;
  for (const auto &Name : Reg.SubKeys(RegKeyMenuExt)) {
    std::string Key = std::string(RegKeyMenuExt) + Name, Script;
    int32_t Contexts = 0;
    if (!Reg.ReadString(Key, "", Script) || !Reg.ReadInteger(Key, "Contexts", Contexts)) continue;
    // Keys of other programs may stand there too: only our scripts count.
    for (const auto &M : IEMenuItems)
      if (Fn_ExtractName(Script) == M.Script) {
        const TPickerMethod *P = FindPickerMethod(M.Method);
        Out.push_back({Name, M.Script, M.Method, Contexts, P ? P->DispId : 0});
      }
  }
  return Out;
}
