#pragma once
// The five entries of the browser's context menu, kept in the per-user key
// store where the browser extension reads them, and the clearing of the URL
// cache.
#include <cstdint>
#include <string>
#include <vector>

class TRegistryStore;
class TUrlCache;

inline constexpr const char *RegKeyMenuExt = "Software\\Microsoft\\Internet Explorer\\MenuExt\\";

struct TIEMenuItem {
  const char *Title;   // the key name and the menu text, with its leading blank and "&" mark
  const char *Script;  // the entry's script in IEMenu/
  int32_t Contexts;    // 0x01 page, 0x02 image, 0x10 selection, 0x20 link
  const char *Method;  // the request its script sends
};

inline constexpr TIEMenuItem IEMenuItems[] = {
    {" Sa&ve snippet by MG...", "Txt_Snpt.js", 0x30, "SaveSnippet"},
    {" Save entire page by &MG...", "Txt_Page.js", 0x31, "SaveFullPage"},
    {" Sa&ve picture by MG...", "Img_One.js", 0x02, "SaveOneImg"},
    {" Save all pictures by &MG...", "Img_All.js", 0x23, "SaveImages"},
    {" Save flash by &MG...", "Flash.js", 0x21, "SaveFlash"},
};

// Every script must be there before anything is registered.
void ChkIEScripts(const std::string &Folder);
// Writes the five keys (default value: the script's path; "Contexts").
// Throws EMossError with the user's text on failure.
void RegIEMenu(const std::string &PrgDir, TRegistryStore &Reg);
// Deletes every entry of the URL cache; single failures are ignored.
void ClrIECache(TUrlCache &Cache);

// The registered entries as the extension needs them.
struct TMenuEntry {
  std::string Title, Script, Method;
  int32_t Contexts = 0;
  int DispId = 0;
};
std::vector<TMenuEntry> RegisteredMenus(const TRegistryStore &Reg);
// The browser's context names of a "Contexts" value.
std::vector<std::string> MenuContexts(int32_t Contexts);
