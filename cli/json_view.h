// The engine's events as JSON lines (--json): one object per event and one for the outcome,
// for a script or a support tool. Every object names its device and its time since the start.
#pragma once

#include <cstdio>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "cli/progress_tracker.h"
#include "engine/update_events.h"
#include "firmware/firmware_set.h"

namespace tarn::cli {

class JsonView final : public UpdateObserver {
 public:
  // `out` may be shared with other views: every object is written whole under `outMutex`.
  JsonView(std::FILE* out, std::mutex& outMutex, Clock::time_point start);

  // The device the objects name; set before the update starts.
  void SetDevice(std::string name);

  void OnEvent(const UpdateEvent& event) override;
  // {"event":"start","firmware":{...}}
  void Start(const FirmwareSet& set);
  // {"event":"notice","text":...}
  void Notice(const std::string& text);
  // How the update ended and the exit code it gives.
  void Outcome(const UpdateOutcome& outcome, int exitCode);

  // An object of its own kind with one text, e.g. the simulated device's flash summary.
  void Line(const std::string& event, const std::string& text);
  // Why no update ran, and the exit code that gives.
  void Error(const std::string& text, int exitCode);
  // The last object of an update of several devices: the exit code of them all.
  void End(int exitCode);

 private:
  // Adds the device and the time, then writes the object as one line.
  void Write(const nlohmann::ordered_json& object);

  std::FILE* const m_out;
  std::mutex& m_outMutex;
  const Clock::time_point m_start;
  std::string m_device;
};

}  // namespace tarn::cli
