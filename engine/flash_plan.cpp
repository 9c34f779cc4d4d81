#include "engine/flash_plan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/exchange.h"
#include "engine/failure.h"
#include "engine/transfer.h"
#include "engine/verification.h"
#include "resources/string_table.h"

namespace tarn {
namespace {

constexpr int32_t kStepCount = static_cast<int32_t>(FlashPlan.size());

enum class BootCheck { kCurrent, kOutdated, kFailed };

// Reads the boot area's version from the device and compares it with the boot image's.
BootCheck CheckBootArea(UpdateContext& context, uint32_t bootAddress) {
  const auto image = context.Images().Find(kBootImageId);
  if (!image) {
    Fail(context, {ids::kImageMissing, {kBootImageId}});
    return BootCheck::kFailed;
  }
  Request request({RequestKind::kReadFlash, kBootVersionAddress},
                  ReadFlash(context.TransmitBuffer(), context.ModelByte(), kBootVersionAddress,
                            kBootVersionLength),
                  context.Times().readWait);
  request.eachTry = [&context] {
    context.ReadBack().Start(static_cast<int32_t>(kBootVersionLength));
  };
  const Answer answer = Exchange(context, request);
  if (answer.kind == AnswerKind::kClosing) return BootCheck::kFailed;
  if (answer.kind == AnswerKind::kPortGone) {
    FailPortGone(context);
    return BootCheck::kFailed;
  }
  // No box of its own: the controls simply come back.
  if (answer.kind == AnswerKind::kTimedOut || answer.status != kStatusSuccess) {
    if (!context.Closing()) context.Report(ControlsRestoredEvent{});
    return BootCheck::kFailed;
  }
  // A boot image too short to hold a version cannot match: the boot area is rewritten.
  const size_t versionOffset = kBootVersionAddress - bootAddress;
  if (image->size() < versionOffset + kBootVersionLength) return BootCheck::kOutdated;
  // Only bytes this read delivered count; a status answer without data leaves the area
  // to be rewritten.
  const std::vector<uint8_t> read = context.ReadBack().Received();
  if (read.size() < kBootVersionLength) return BootCheck::kOutdated;
  const bool same =
      std::memcmp(image->data() + versionOffset, read.data(), kBootVersionLength) == 0;
  return same ? BootCheck::kCurrent : BootCheck::kOutdated;
}

// The erase step whose area holds the write step at `writeIndex`.
const PlanStep* EraseStepFor(size_t writeIndex) {
  const uint32_t address = FlashPlan[writeIndex].address;
  const auto erase =
      std::find_if(FlashPlan.begin(), FlashPlan.end(), [address](const PlanStep& step) {
        return step.mode == PlanMode::kErase && address >= step.address &&
               address - step.address < step.size;
      });
  return erase == FlashPlan.end() ? nullptr : &*erase;
}

// Reads back what the write step at `index` wrote. A block found wrong but not erased cannot be
// written over: its whole area is erased and written again, once, and read back again.
AreaCheck VerifyWrite(UpdateContext& context, AreaVerifier& verifier, int32_t index) {
  const PlanStep& step = FlashPlan[static_cast<size_t>(index)];
  // TransmitImage has found the image: it is there.
  const auto image = *context.Images().Find(step.imageId);
  const WrittenArea area{step.address, image.first(WriteLength(step.size, image.size()))};
  const AreaCheck check = verifier.Verify(area, index + 1, kStepCount);
  const PlanStep* erase = EraseStepFor(static_cast<size_t>(index));
  if (check != AreaCheck::kWrong || erase == nullptr) return check;
  context.Report(StepEvent{index + 1, kStepCount});
  if (EraseArea(context, erase->address, erase->size) < 0 ||
      TransmitImage(context, step.address, step.size, step.imageId) < 0) {
    return AreaCheck::kFailed;
  }
  return verifier.Verify(area, index + 1, kStepCount);
}

}  // namespace

uint32_t WriteLength(uint32_t size, size_t imageSize) {
  return static_cast<uint32_t>(size == 0 ? imageSize : std::min<size_t>(size, imageSize));
}

int32_t RunFlashPlan(UpdateContext& context) {
  bool rewriteBoot = true;
  const auto bootStep = std::find_if(FlashPlan.begin(), FlashPlan.end(),
                                     [](const PlanStep& step) { return step.address == 0; });
  if (bootStep != FlashPlan.end()) {
    const BootCheck check = CheckBootArea(context, bootStep->address);
    if (check == BootCheck::kFailed) return -1;
    rewriteBoot = check == BootCheck::kOutdated;
  }
  AreaVerifier verifier(context);
  bool unreadable = false;
  for (int32_t index = 0; index < kStepCount; ++index) {
    const PlanStep& step = FlashPlan[static_cast<size_t>(index)];
    context.Report(StepEvent{index + 1, kStepCount});
    if (step.address == 0 && !rewriteBoot) continue;
    if (step.mode == PlanMode::kErase) {
      if (EraseArea(context, step.address, step.size) < 0) return -1;
      continue;
    }
    if (TransmitImage(context, step.address, step.size, step.imageId) < 0) return -1;
    if (!context.Verify() || unreadable) continue;
    // Checked before the next area is erased, so that the version block, written last, only
    // ever goes over areas that read back right.
    switch (VerifyWrite(context, verifier, index)) {
      case AreaCheck::kVerified:
        break;
      case AreaCheck::kUnreadable:
        unreadable = true;
        break;
      case AreaCheck::kWrong:
        Fail(context, {ids::kTransferError, {}});
        return -1;
      case AreaCheck::kFailed:
        return -1;
    }
  }
  if (!context.Verify()) return 0;
  context.ThisRun().verification =
      unreadable ? Verification::kNotPossible : Verification::kVerified;
  // The step box leaves the last verification for the plan's last step.
  if (!unreadable) context.Report(StepEvent{kStepCount, kStepCount});
  return 0;
}

}  // namespace tarn
