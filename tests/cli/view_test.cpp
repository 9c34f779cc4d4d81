// The CLI's view: what it prints where, and the exit code that an outcome maps to.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "cli/cli_view.h"
#include "cli/exit_codes.h"
#include "cli/run_views.h"
#include "cli/summary_table.h"
#include "firmware/embedded_images.h"
#include "resources/string_table.h"

namespace tarn::cli {
namespace {

// A FILE* whose contents the test can read back.
class Capture {
 public:
  Capture() : m_file(std::tmpfile()) {}
  ~Capture() { std::fclose(m_file); }
  std::FILE* File() { return m_file; }
  std::string Text() {
    std::fflush(m_file);
    const long size = std::ftell(m_file);
    std::string text(static_cast<size_t>(size), '\0');
    std::rewind(m_file);
    const size_t read = std::fread(text.data(), 1, text.size(), m_file);
    std::fseek(m_file, 0, SEEK_END);
    text.resize(read);
    return text;
  }

 private:
  std::FILE* m_file;
};

struct ViewRig {
  explicit ViewRig(bool terminal, bool quiet = false)
      : view({out.File(), err.File(), quiet, terminal, 80, {}}, {0, 4096}) {}
  Capture out;
  Capture err;
  CliView view;
};

// The engine's events, as the tests drive the view with them.
UpdateEvent Step(int32_t step, int32_t count) {
  return StepEvent{step, count};
}
UpdateEvent Status(int32_t id, std::vector<int32_t> args = {}) {
  return StatusEvent{{id, std::move(args)}};
}
UpdateEvent Failure(int32_t id) {
  return FailureEvent{{id, {}}};
}

void Drive(UpdateObserver& view, const std::vector<UpdateEvent>& events) {
  for (const UpdateEvent& event : events)
    view.OnEvent(event);
}

TEST(CliView, LogGetsOneLinePerNewStatusTextOrStep) {
  ViewRig rig(false);
  Drive(rig.view, {
                      Step(0, 2),
                      Status(ids::kErasing),
                      StatusEvent{},  // cleared: nothing to print
                      Step(1, 2),
                      ProgressRangeEvent{0, 10},
                      Status(ids::kErasing),  // same text, new step
                      Status(ids::kErasing),  // a retry: nothing new
                      Step(2, 2),
                      ProgressRangeEvent{0, 4096},
                      Status(ids::kDataTransmit, {0, 4096}),
                      Status(ids::kDataTransmit, {0, 4096}),
                      ProgressPositionEvent{4096},
                      Status(ids::kUpdateCompleted),
                      ControlsRestoredEvent{},
                      ExecuteEnabledEvent{false},
                  });
  EXPECT_EQ(rig.out.Text(),
            "0/2 Erasing Flash memory.\n"
            "1/2 Erasing Flash memory.\n"
            "2/2 Data transmit  0 / 4096\n"
            "2/2 Version update completed.\n");
  EXPECT_EQ(rig.err.Text(), "");
  rig.view.EndLine();  // nothing to end in a log
  EXPECT_EQ(rig.out.Text().back(), '\n');
}

UpdateOutcome Outcome(OutcomeKind kind, Verification verification = Verification::kNotAsked) {
  UpdateOutcome outcome;
  outcome.kind = kind;
  outcome.verification = verification;
  return outcome;
}

TEST(CliView, ExitCodeOfEveryOutcome) {
  const struct {
    UpdateOutcome outcome;
    int exitCode;
  } cases[] = {
      {Outcome(OutcomeKind::kCompleted), kExitCompleted},
      {Outcome(OutcomeKind::kCompleted, Verification::kVerified), kExitCompleted},
      {Outcome(OutcomeKind::kCompleted, Verification::kNotPossible), kExitNotVerified},
      {Outcome(OutcomeKind::kFailed), kExitFailed},
      // A failed boot read-back gives the controls back without any text.
      {Outcome(OutcomeKind::kEndedWithoutText), kExitFailed},
      {Outcome(OutcomeKind::kStopped), kExitInterrupted},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExitCodeFor(c.outcome), c.exitCode) << static_cast<int>(c.outcome.kind);
}

TEST(CliView, ExitCodeOfSeveralDevices) {
  const struct {
    std::vector<int> codes;
    int exitCode;
  } cases[] = {
      {{}, kExitUsage},  // no device found
      {{kExitCompleted, kExitCompleted}, kExitCompleted},
      {{kExitCompleted, kExitFailed, kExitCompleted}, kExitFailed},
      {{kExitCompleted, kExitPortUnavailable}, kExitFailed},  // held by another updater
      {{kExitNotVerified, kExitCompleted}, kExitNotVerified},
      {{kExitNotVerified, kExitFailed}, kExitFailed},
      {{kExitFailed, kExitInterrupted}, kExitInterrupted},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CombinedExitCode(c.codes), c.exitCode) << testing::PrintToString(c.codes);
}

TEST(CliView, SummaryTableOfSeveralDevices) {
  UpdateOutcome failed = Outcome(OutcomeKind::kFailed);
  failed.failure = {ids::kTransferError, {}};
  failed.blocksResent = 31;
  EXPECT_EQ(OutcomeText(Outcome(OutcomeKind::kCompleted)), "Version update completed.");
  EXPECT_EQ(OutcomeText(failed), "Transfer error occurred.");
  EXPECT_EQ(OutcomeText(Outcome(OutcomeKind::kCompleted, Verification::kNotPossible)),
            LoadString(ids::kNotVerified));
  const std::vector<std::string> lines = SummaryLines({
      {"DAXO Tarn Series", OutcomeText(Outcome(OutcomeKind::kCompleted)), 92.2, 0},
      {"DAXO Tarn Series (3)", OutcomeText(failed), 5, failed.blocksResent},
  });
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Device                Outcome                    Time  Resent",
                       "DAXO Tarn Series      Version update completed.  1:33       0",
                       "DAXO Tarn Series (3)  Transfer error occurred.   0:05      31",
                   }));
}

TEST(CliView, QuietPrintsErrorsOnly) {
  for (const bool terminal : {false, true}) {
    ViewRig rig(terminal, true);
    Drive(rig.view, {Step(1, 2), Status(ids::kErasing)});
    rig.view.Redraw(Clock::now());
    rig.view.OnEvent(Failure(ids::kUseUpdateMode));
    rig.view.EndLine();
    EXPECT_EQ(rig.out.Text(), "");
    EXPECT_EQ(rig.err.Text(), "Error: Please use the firmware update mode.\n");
  }
}

TEST(CliView, TerminalRedrawsOneLineAtMostTenTimesASecond) {
  ViewRig rig(true);
  CliView& view = rig.view;
  Drive(view, {Step(1, 2), Status(ids::kErasing)});
  EXPECT_EQ(rig.out.Text(), "");  // nothing until the main thread redraws
  const auto start = Clock::now();
  view.Redraw(start);
  view.Redraw(start + std::chrono::milliseconds(50));  // too soon: skipped
  view.OnEvent(Status(ids::kDataTransmit, {0, 4096}));
  view.Redraw(start + std::chrono::milliseconds(100));
  const std::string text = rig.out.Text();
  EXPECT_EQ(text,
            "\r1/2 Erasing Flash memory.\033[K"
            "\r1/2 Data transmit  0 / 4096\033[K");
  EXPECT_EQ(text.find('\n'), std::string::npos);

  // An error leaves the line as it stood and goes below it; the line is not drawn again.
  view.OnEvent(Failure(ids::kTransferError));
  view.EndLine();
  const std::string after = rig.out.Text();
  EXPECT_EQ(after.substr(text.size()), "\r1/2 Data transmit  0 / 4096\033[K\n");
  EXPECT_EQ(rig.err.Text(), "Error: Transfer error occurred.\n");
}

// The views a run chooses once, driven as a run drives them: the set, a step of the last device,
// a redraw, the Ctrl-C warning, the keep-awake notice from two workers, the first device never
// opened, the last one completed, the end.
struct ViewsCase {
  const char* name;
  ViewChoice choice;
  std::vector<std::string> labels;
  std::string out;
  std::string err;
};

constexpr const char* kSet = "Firmware: system 2.00, boot 1.00, stand-in set (built in)";

std::string JsonStart(const std::string& device) {
  return "{" + device + "\"event\":\"start\",\"firmware\":...}\n";
}

TEST(RunViews, EachChoiceWritesWhereAndWhatItShould) {
  const auto one = [](bool json, bool quiet, bool terminal) {
    return ViewChoice{RunScope::kOneDevice, json, quiet, {terminal, terminal}, 60};
  };
  const auto every = [](bool json, bool quiet, bool terminal) {
    return ViewChoice{RunScope::kEveryDevice, json, quiet, {terminal, terminal}, 60};
  };
  const std::string line = "1/2 Erasing Flash memory.";
  const std::vector<ViewsCase> cases{
      {"OneDeviceLines",
       one(false, false, false),
       {""},
       std::string(kSet) + "\n" + line + "\n",
       "Stop?\nAwake?\n"},
      {"OneDeviceQuiet", one(false, true, true), {""}, "", "Stop?\nAwake?\n"},
      // Drawn in place; cleared for each notice and drawn again below it; ended on a line.
      {"OneDeviceTerminal",
       one(false, false, true),
       {""},
       std::string(kSet) + "\n\r" + line + "\033[K" + "\r\033[K\r" + line + "\033[K" +
           "\r\033[K\r" + line + "\033[K" + "\r" + line + "\033[K\n",
       "Stop?\nAwake?\n"},
      {"OneDeviceJson",
       one(true, false, false),
       {""},
       JsonStart("\"device\":\"Tarn\",") +
           "{\"device\":\"Tarn\",\"event\":\"step\",\"step\":1,\"count\":2,\"verifying\":false,"
           "\"text_id\":125,\"text\":\"1/2\"}\n"
           "{\"device\":\"Tarn\",\"event\":\"status\",\"text_id\":114,"
           "\"text\":\"Erasing Flash memory.\"}\n"
           "{\"device\":\"Tarn\",\"event\":\"notice\",\"text\":\"Stop?\"}\n"
           "{\"device\":\"Tarn\",\"event\":\"notice\",\"text\":\"Awake?\"}\n"
           "{\"device\":\"Tarn\",\"event\":\"error\",\"text\":\"Held.\",\"exit_code\":3}\n"
           "{\"device\":\"Tarn\",\"event\":\"outcome\",\"outcome\":\"completed\",\"text_id\":108,"
           "\"text\":\"Version update completed.\",\"verification\":\"verified\","
           "\"blocks_resent\":0,\"exit_code\":0}\n"
           "{\"event\":\"end\",\"exit_code\":0}\n",
       ""},
      // Interleaved lines, each led by its device; a notice once.
      {"EveryDeviceLines",
       every(false, false, false),
       {"A", "B (2)"},
       "A: " + std::string(kSet) + "\nB (2): " + kSet + "\nB (2): " + line + "\n",
       "Stop?\nAwake?\n"},
      {"EveryDeviceQuiet", every(false, true, true), {"A", "B (2)"}, "", "Stop?\nAwake?\n"},
      // One board of padded lines, drawn afresh below each notice, then once more at the end.
      {"EveryDeviceTerminal",
       every(false, false, true),
       {"A", "B (2)"},
       std::string(kSet) + "\n" + "\rA      \033[K\n\rB (2)  " + line + "\033[K\n" +
           "\rA      \033[K\n\rB (2)  " + line + "\033[K\n" + "\rA      \033[K\n\rB (2)  " + line +
           "\033[K\n" + "\033[2A\rA      \033[K\n\rB (2)  " + line + "\033[K\n",
       "Stop?\nAwake?\n"},
      // Every object names its device, but the run's own last one; notices go to each device.
      {"EveryDeviceJson",
       every(true, false, true),
       {"A", "B (2)"},
       JsonStart("\"device\":\"A\",") + JsonStart("\"device\":\"B (2)\",") +
           "{\"device\":\"B (2)\",\"event\":\"step\",\"step\":1,\"count\":2,"
           "\"verifying\":false,\"text_id\":125,\"text\":\"1/2\"}\n"
           "{\"device\":\"B (2)\",\"event\":\"status\",\"text_id\":114,"
           "\"text\":\"Erasing Flash memory.\"}\n"
           "{\"device\":\"A\",\"event\":\"notice\",\"text\":\"Stop?\"}\n"
           "{\"device\":\"B (2)\",\"event\":\"notice\",\"text\":\"Stop?\"}\n"
           "{\"device\":\"A\",\"event\":\"notice\",\"text\":\"Awake?\"}\n"
           "{\"device\":\"B (2)\",\"event\":\"notice\",\"text\":\"Awake?\"}\n"
           "{\"device\":\"A\",\"event\":\"error\",\"text\":\"Held.\",\"exit_code\":3}\n"
           "{\"device\":\"B (2)\",\"event\":\"outcome\",\"outcome\":\"completed\","
           "\"text_id\":108,\"text\":\"Version update completed.\","
           "\"verification\":\"verified\",\"blocks_resent\":0,\"exit_code\":0}\n"
           "{\"event\":\"end\",\"exit_code\":0}\n",
       ""},
  };
  // What may differ from one run to the next: the times, and the set's own description.
  static const std::regex kElapsed("\"elapsed_ms\":[0-9]+,");
  static const std::regex kFirmware("(\"event\":\"start\",\"firmware\":).*");
  for (const ViewsCase& c : cases) {
    SCOPED_TRACE(c.name);
    Capture out;
    Capture err;
    ViewChoice choice = c.choice;
    choice.out = out.File();
    choice.err = err.File();
    RunViews views(choice, c.labels, {0, 4096}, Clock::now());
    ASSERT_EQ(views.DeviceCount(), c.labels.size());
    if (c.choice.scope == RunScope::kOneDevice) views.NameDevice(0, "Tarn");
    const size_t last = c.labels.size() - 1;
    views.Start(EmbeddedImages());
    Drive(views.Observer(last), {Step(1, 2), Status(ids::kErasing)});
    views.Redraw(Clock::now());
    views.Notice("Stop?");
    views.NoticeOnce("Awake?");
    views.NoticeOnce("Awake?");
    views.DeviceError(0, "Held.", kExitPortUnavailable);
    UpdateOutcome completed = Outcome(OutcomeKind::kCompleted, Verification::kVerified);
    views.Outcome(last, completed, kExitCompleted);
    views.EndLine();
    views.RunEnd(kExitCompleted);
    std::string text = std::regex_replace(out.Text(), kElapsed, "");
    text = std::regex_replace(text, kFirmware, "$1...}");
    EXPECT_EQ(text, c.out);
    EXPECT_EQ(err.Text(), c.err);
  }
}

}  // namespace
}  // namespace tarn::cli
