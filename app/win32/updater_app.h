// The Windows program's start-up: claims one of the twenty instance numbers, then runs the
// updater dialog until it closes.
#pragma once

#include <cstdint>

#include "instance/instance_limit.h"

namespace tarn {

class CT2vVazidavApp {
 public:
  // The refusal box when no number can be claimed; the dialog otherwise. Returns when either
  // has closed.
  void InitInstance();

  int32_t InstanceNumber = 0;

 private:
  InstanceClaim m_instance;  // held until the process ends
};

}  // namespace tarn
