#include "cli/json_view.h"

#include <exception>
#include <nlohmann/json.hpp>

#include <variant>
#include "cli/firmware_info.h"

namespace tarn::cli {
namespace {

using Json = nlohmann::ordered_json;

const char* OutcomeName(OutcomeKind kind) {
  switch (kind) {
    case OutcomeKind::kCompleted:
      return "completed";
    case OutcomeKind::kFailed:
      return "failed";
    case OutcomeKind::kEndedWithoutText:
      return "ended_without_text";
    case OutcomeKind::kStopped:
      return "stopped";
  }
  return "unknown";
}

const char* VerificationName(Verification verification) {
  switch (verification) {
    case Verification::kNotAsked:
      return "not_asked";
    case Verification::kVerified:
      return "verified";
    case Verification::kNotPossible:
      return "not_possible";
  }
  return "unknown";
}

// The id, the text as the user would read it, and the values it was formatted with; a
// transfer's offset and total under their own names, so a script need not know the text.
void AddText(Json& object, const TextRef& text) {
  object["text_id"] = text.id;
  object["text"] = FormatText(text);
  if ((text.id == ids::kDataTransmit || text.id == ids::kVerifying) && text.args.size() == 2) {
    object["offset"] = text.args[0];
    object["total"] = text.args[1];
  }
}

Json EventJson(const UpdateEvent& event) {
  Json object;
  std::visit(Overloaded{
                 [&](const StepEvent& step) {
                   object["event"] = "step";
                   object["step"] = step.step;
                   object["count"] = step.count;
                   object["verifying"] = step.verifying;
                   AddText(object, StepText(step));
                 },
                 [&](const StatusEvent& status) {
                   object["event"] = "status";
                   AddText(object, status.text);
                 },
                 [&](const ProgressRangeEvent& range) {
                   object["event"] = "progress_range";
                   object["low"] = range.low;
                   object["high"] = range.high;
                 },
                 [&](const ProgressPositionEvent& position) {
                   object["event"] = "progress_position";
                   object["position"] = position.position;
                 },
                 [&](const FailureEvent& failure) {
                   object["event"] = "failure";
                   AddText(object, failure.text);
                 },
                 [&](const ControlsRestoredEvent&) { object["event"] = "controls_restored"; },
                 [&](const ExecuteEnabledEvent& execute) {
                   object["event"] = "execute_enabled";
                   object["enable"] = execute.enable;
                 },
             },
             event);
  return object;
}

}  // namespace

JsonView::JsonView(std::FILE* out, std::mutex& outMutex, Clock::time_point start)
    : m_out(out), m_outMutex(outMutex), m_start(start) {}

void JsonView::SetDevice(std::string name) {
  std::lock_guard lock(m_outMutex);
  m_device = std::move(name);
}

void JsonView::OnEvent(const UpdateEvent& event) {
  Write(EventJson(event));
}

void JsonView::Start(const FirmwareSet& set) {
  Write(Json{{"event", "start"}, {"firmware", SetJson(set, false)}});
}

void JsonView::Write(const Json& object) {
  std::lock_guard lock(m_outMutex);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count();
  // Nothing may throw here: this runs on the update's worker, and a throw there would end the
  // process mid-update. Bytes of a system's name that are not UTF-8 are replaced.
  try {
    // The device and the time first, as a reader scanning the lines looks for them.
    // The closing object of several devices belongs to none of them.
    Json line;
    if (!m_device.empty()) line["device"] = m_device;
    line["elapsed_ms"] = elapsed;
    line.update(object);
    const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fprintf(m_out, "%s\n", text.c_str());
  } catch (const std::exception&) {
    // Out of memory: the line is lost, the update goes on.
  }
  std::fflush(m_out);
}

void JsonView::Notice(const std::string& text) {
  Line("notice", text);
}

void JsonView::Outcome(const UpdateOutcome& outcome, int exitCode) {
  Json object{{"event", "outcome"}, {"outcome", OutcomeName(outcome.kind)}};
  if (outcome.kind == OutcomeKind::kFailed) AddText(object, outcome.failure);
  if (outcome.kind == OutcomeKind::kCompleted) AddText(object, {ids::kUpdateCompleted, {}});
  object["verification"] = VerificationName(outcome.verification);
  object["blocks_resent"] = outcome.blocksResent;
  object["exit_code"] = exitCode;
  Write(object);
}

void JsonView::Error(const std::string& text, int exitCode) {
  Write(Json{{"event", "error"}, {"text", text}, {"exit_code", exitCode}});
}

void JsonView::End(int exitCode) {
  Write(Json{{"event", "end"}, {"exit_code", exitCode}});
}

void JsonView::Line(const std::string& event, const std::string& text) {
  Write(Json{{"event", event}, {"text", text}});
}

}  // namespace tarn::cli
