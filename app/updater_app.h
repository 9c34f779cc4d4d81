// The application: claims one of the twenty instance numbers, then runs the updater dialog
// until it closes.
#pragma once

#include <cstdint>
#include <functional>

#include "firmware/firmware_set.h"
#include "instance/instance_limit.h"

namespace tarn {

class CT2vVazidavApp {
 public:
  // Claims a number and returns it: 0 when every number is taken, kNoInstanceLock when none
  // could be claimed at all.
  using ClaimFunction = std::function<int32_t(InstanceClaim&)>;

  CT2vVazidavApp();
  explicit CT2vVazidavApp(ClaimFunction claim);
  CT2vVazidavApp(const CT2vVazidavApp&) = delete;
  CT2vVazidavApp& operator=(const CT2vVazidavApp&) = delete;

  // Start-up: the dialog modally once a number is claimed, the refusal message otherwise.
  // Returns when the dialog or the message has closed.
  void InitInstance();

  // The image set the dialog writes; the built-in one unless this is called first. `images`
  // outlives the application object.
  void UseImages(const FirmwareSet& images) { m_images = &images; }

  int32_t InstanceNumber = 0;

 private:
  ClaimFunction m_claim;
  InstanceClaim m_instance;  // held until the process ends
  const FirmwareSet* m_images = nullptr;
};

}  // namespace tarn
