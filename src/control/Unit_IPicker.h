#pragma once
// The five requests of the browser's menu entries. Each hands its page
// snapshot to the job controller and returns at once, so the browser is
// never held while the user edits the job. A request the controller refuses
// still succeeds: the controller has told the user why.
#include <cstdint>
#include <string>

class QJsonObject;
class TReqChannel;

struct TPickerMethod {
  const char *Name;
  int DispId;
  uint8_t PickCode;
};

inline constexpr TPickerMethod PickerMethods[] = {
    {"SaveFlash", 1, 4}, {"SaveOneImg", 2, 1}, {"SaveSnippet", 3, 0}, {"SaveFullPage", 4, 2}, {"SaveImages", 5, 3},
};

// The method of a name, or null. Inline, so that the menu registration (and
// the light host that reads it) can look a name up without the job side.
inline const TPickerMethod *FindPickerMethod(const std::string &Name) {
  for (const auto &M : PickerMethods)
    if (Name == M.Name) return &M;
  return nullptr;
}

class TPicker {
 public:
  // Registers the five methods on the channel.
  static void Install(TReqChannel &Channel);
  // One call: {"method": ..., "snapshot": {...}}. Throws EMossError (a
  // failure status for the caller) when the program cannot take requests
  // yet or the message carries no snapshot.
  static int Call(const TPickerMethod &M, const QJsonObject &Msg);
};
