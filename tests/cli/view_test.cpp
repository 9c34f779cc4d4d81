// The CLI's view: what it prints where, and the exit code that an outcome maps to.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_view.h"
#include "cli/exit_codes.h"
#include "cli/summary_table.h"
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

void Drive(CliView& view, const std::vector<UpdateEvent>& events) {
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

}  // namespace
}  // namespace tarn::cli
