#include "control/Unit_IPicker.h"

#include <QJsonObject>

#include "control/TReqChannel.h"
#include "jobs/Unit_JobCntl.h"
#include "platform/TPageSnapshot.h"
#include "platform/TUrlCache.h"
#include "pub/Unit_Log.h"

void TPicker::Install(TReqChannel &Channel) {
  for (const auto &M : PickerMethods)
    Channel.SetHandler(M.Name, [&M](const QJsonObject &Msg, QJsonObject &) { return Call(M, Msg); });
}

int TPicker::Call(const TPickerMethod &M, const QJsonObject &Msg) {
  // Before the controller exists nothing could take the job; the caller
  // hears so instead of a success that leads nowhere.
  if (!JobCtrl) throw EMossError("Mossgather has not finished starting; try again in a moment");
  const QJsonValue Snap = Msg.value(QStringLiteral("snapshot"));
  if (!Snap.isObject()) throw EMossError(std::string("No page snapshot in the ") + M.Name + " request");
  TPageSnapshot S = TPageSnapshot::FromJson(Snap.toObject());

  // Pictures the browser already held go into the URL cache, so saving them
  // copies instead of downloading (and works behind a login too).
  try {
    for (const auto &F : S.CachedFiles()) {
      try {
        if (TUrlCache::Default().LocalFile(F.Url()).empty()) TUrlCache::Default().Store(F.Url(), F.Bytes());
      } catch (const std::exception &E) {
        Log::Warn(Format(ErrTipsFmt, {"A cached picture was not kept", "TPicker.Call", E.what()}));
      }
    }
  } catch (const std::exception &E) {
    Log::Warn(Format(ErrTipsFmt, {"The cached pictures were not readable", "TPicker.Call", E.what()}));
  }

  std::shared_ptr<THtmlElement> Elem;
  try {
    Elem = S.Element();
  } catch (const std::exception &E) {
    // An element that cannot be read is no element: the job goes on without.
    Log::Warn(Format(ErrTipsFmt, {"The element under the mouse was not readable", "TPicker.Call", E.what()}));
  }
  JobCtrl->Flow_Begin(S.Window(), M.PickCode, Elem);
  return ChannelOk;
}
