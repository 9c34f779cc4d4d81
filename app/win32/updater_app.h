// The Windows program's start-up: claims one of the twenty instance numbers, then runs the
// updater dialog until it closes.
#pragma once

#include <cstdint>

#include "firmware/firmware_set.h"
#include "instance/instance_limit.h"

namespace tarn {

class CT2vVazidavApp {
 public:
  // The refusal box when no number can be claimed; the dialog otherwise. Returns when either
  // has closed.
  void InitInstance();

  // The image set the dialog writes; the built-in one unless this is called first. `images`
  // outlives the application object.
  void UseImages(const FirmwareSet& images) { m_images = &images; }

  int32_t InstanceNumber = 0;

 private:
  InstanceClaim m_instance;  // held until the process ends
  const FirmwareSet* m_images = nullptr;
};

}  // namespace tarn
