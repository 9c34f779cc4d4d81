// The CLI's view: what it prints where, how it tells the end of an update, and the exit code
// that an outcome maps to.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_view.h"
#include "cli/exit_codes.h"

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
      : view({out.File(), err.File(), quiet, terminal, 80}, {0, 4096}, [this] { ++ended; }) {}
  Capture out;
  Capture err;
  int ended = 0;
  CliView view;
};

TEST(CliView, LogGetsOneLinePerNewStatusTextOrStep) {
  ViewRig rig(false);
  CliView& view = rig.view;
  view.SetStepText("0/2");
  view.SetStatusText("Erasing Flash memory.");
  view.SetStatusText("");  // cleared: nothing to print
  view.SetStepText("1/2");
  view.SetProgressRange(0, 10);
  view.SetStatusText("Erasing Flash memory.");  // same text, new step
  view.SetStatusText("Erasing Flash memory.");  // a retry: nothing new
  view.SetStepText("2/2");
  view.SetProgressRange(0, 4096);
  view.SetStatusText("Data transmit  0 / 4096 ");
  view.SetStatusText("Data transmit  0 / 4096 ");
  view.SetProgressPosition(4096);
  view.SetStatusText("Version update completed.");
  view.RestoreControls();
  view.EnableExecute(false);
  EXPECT_EQ(rig.out.Text(),
            "0/2 Erasing Flash memory.\n"
            "1/2 Erasing Flash memory.\n"
            "2/2 Data transmit  0 / 4096\n"
            "2/2 Version update completed.\n");
  EXPECT_EQ(rig.err.Text(), "");
  EXPECT_EQ(rig.ended, 1);
  view.EndLine();  // nothing to end in a log
  EXPECT_EQ(rig.out.Text().back(), '\n');
}

TEST(CliView, OutcomeOfEveryEnding) {
  struct Case {
    const char* name;
    void (*drive)(CliView&);
    int exitCode;
  };
  const std::vector<Case> cases{
      {"completed",
       [](CliView& v) {
         v.SetStatusText("Version update completed.");
         v.RestoreControls();
         v.EnableExecute(false);
       },
       kExitCompleted},
      {"error box",
       [](CliView& v) {
         v.SetStatusText("Erasing Flash memory.");
         v.ShowError("Time out error(3)");
         v.RestoreControls();
       },
       kExitFailed},
      // A failed boot read-back gives the controls back without any text.
      {"silent", [](CliView& v) { v.RestoreControls(); }, kExitFailed},
      {"completed text, then an error",
       [](CliView& v) {
         v.SetStatusText("Version update completed.");
         v.ShowError("Transfer error occurred.");
         v.RestoreControls();
       },
       kExitFailed},
  };
  for (const Case& c : cases) {
    ViewRig rig(false);
    c.drive(rig.view);
    EXPECT_EQ(rig.ended, 1) << c.name;
    EXPECT_EQ(ExitCodeFor(rig.view.Outcome()), c.exitCode) << c.name;
    // Errors in the system's own words, on stderr only.
    EXPECT_EQ(rig.err.Text().rfind("Error: ", 0) == 0, rig.view.Outcome().errorShown) << c.name;
  }
  // Stopped by the user: 130, even if the status text had already been reached.
  EXPECT_EQ(ExitCodeFor({true, false, true}), kExitInterrupted);
}

TEST(CliView, QuietPrintsErrorsOnly) {
  for (const bool terminal : {false, true}) {
    ViewRig rig(terminal, true);
    rig.view.SetStepText("1/2");
    rig.view.SetStatusText("Erasing Flash memory.");
    rig.view.Redraw(Clock::now());
    rig.view.ShowError("Please use the firmware update mode.");
    rig.view.EndLine();
    EXPECT_EQ(rig.out.Text(), "");
    EXPECT_EQ(rig.err.Text(), "Error: Please use the firmware update mode.\n");
  }
}

TEST(CliView, TerminalRedrawsOneLineAtMostTenTimesASecond) {
  ViewRig rig(true);
  CliView& view = rig.view;
  view.SetStepText("1/2");
  view.SetStatusText("Erasing Flash memory.");
  EXPECT_EQ(rig.out.Text(), "");  // nothing until the main thread redraws
  const auto start = Clock::now();
  view.Redraw(start);
  view.Redraw(start + std::chrono::milliseconds(50));  // too soon: skipped
  view.SetStatusText("Data transmit  0 / 4096 ");
  view.Redraw(start + std::chrono::milliseconds(100));
  const std::string text = rig.out.Text();
  EXPECT_EQ(text,
            "\r1/2 Erasing Flash memory.\033[K"
            "\r1/2 Data transmit  0 / 4096\033[K");
  EXPECT_EQ(text.find('\n'), std::string::npos);

  // An error leaves the line as it stood and goes below it; the line is not drawn again.
  view.ShowError("Transfer error occurred.");
  view.EndLine();
  const std::string after = rig.out.Text();
  EXPECT_EQ(after.substr(text.size()), "\r1/2 Data transmit  0 / 4096\033[K\n");
  EXPECT_EQ(rig.err.Text(), "Error: Transfer error occurred.\n");
}

}  // namespace
}  // namespace tarn::cli
