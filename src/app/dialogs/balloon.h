// The balloons TFfukidsi of FUKIDASI and BALLOON: one for the main script
// and one per script thread, borderless top-most text windows with a tail.
// Windows only.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "app/dialogs/dialog_windows.h"

namespace vesk::dialogs {

class Balloon;

class Balloons {
 public:
  Balloons();
  ~Balloons();
  // Shows, moves, restyles or (empty text) hides the balloon of [slot].
  void show(int32_t slot, const gui::DialogLook& look, const gui::BalloonRequest& request);
  // The end of a run: every balloon closed.
  void close_all();

 private:
  std::map<int32_t, std::unique_ptr<Balloon>> m_balloons;
};

}  // namespace vesk::dialogs
