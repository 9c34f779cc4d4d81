// The dialog's behaviour without any toolkit: the controller over the real session, ports and
// timer, with the virtual device behind the loopback ports and a fake view in front.
#include "session/dialog_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "firmware/embedded_images.h"
#include "sim/plan_expectations.h"
#include "sim/virtual_device.h"
#include "tests/session/fake_dialog_view.h"
#include "tests/support/environment.h"
#include "tests/support/product_loopback.h"
#include "tests/support/test_names.h"
#include "tests/support/test_timing.h"

namespace tarn::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kUpdateTimeout = 180s;
const std::string kTitle = "DAXO R5x System v2.00 Updater";
const std::string kStopQuestion =
    "An update is running. Stopping it now leaves the device without valid firmware until it "
    "is updated again.\n\nStop the update?";

// A view and the controller behind it, initialised as the window's creation does.
template <typename Controller = DialogController>
struct Dialog {
  explicit Dialog(int32_t instanceNumber = 1)
      : controller(view, instanceNumber, EmbeddedImages(), FastTiming()) {
    controller.OnInitDialog();
  }
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    return view.PumpUntil(done, timeout);
  }
  bool WaitForState(DialogState state, std::chrono::milliseconds timeout = 10s) {
    return WaitFor([&] { return controller.State() == state; }, timeout);
  }
  FakeDialogView view;  // first: outlives the controller
  Controller controller;
};

class DialogControllerTest : public testing::Test {
 protected:
  sim::VirtualDevice m_device;
  test::ProductLoopback m_loopback{m_device};
};

void ExpectErrorBoxes(const FakeDialogView& view, const std::vector<std::string>& texts) {
  ASSERT_EQ(view.ErrorBoxes().size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(view.ErrorBoxes()[i].caption, "Error");
    EXPECT_EQ(view.ErrorBoxes()[i].text, texts[i]);
  }
}

TEST_F(DialogControllerTest, StartsIdleWithTheDevicePreselected) {
  Dialog dialog;
  EXPECT_EQ(dialog.view.Title(), kTitle);
  EXPECT_EQ(dialog.controller.State(), DialogState::kIdle);
  EXPECT_EQ(dialog.controller.BusyFlag(), 0);
  EXPECT_EQ(dialog.view.State(), kIdle);
  for (const PortList list : {PortList::kMidiIn, PortList::kMidiOut}) {
    EXPECT_EQ(dialog.view.List(list).names, std::vector<std::string>{"DAXO Tarn Series"});
    EXPECT_EQ(dialog.view.List(list).selected, 0);
  }
  EXPECT_EQ(dialog.view.ProgressLow(), 0);
  EXPECT_EQ(dialog.view.ProgressHigh(), 100);
  EXPECT_EQ(dialog.view.ProgressPosition(), 0);
}

TEST_F(DialogControllerTest, FullUpdateEndsCompletedAndRescanEnablesExecute) {
  Dialog dialog;
  dialog.controller.OnExecuteClicked();
  EXPECT_EQ(dialog.controller.State(), DialogState::kUpdating);
  EXPECT_EQ(dialog.controller.BusyFlag(), 1);
  EXPECT_EQ(dialog.view.State(), kUpdating);
  ASSERT_TRUE(dialog.WaitForState(DialogState::kCompleted, kUpdateTimeout));
  EXPECT_EQ(dialog.view.State(), kCompleted);
  EXPECT_EQ(dialog.view.Status(), "Version update completed.");
  EXPECT_EQ(dialog.view.Step(), "10/10");
  EXPECT_EQ(dialog.view.ProgressPosition(), dialog.view.ProgressHigh());
  EXPECT_TRUE(dialog.view.ErrorBoxes().empty());
  ASSERT_TRUE(m_device.WaitIdle(5000ms));
  const sim::FlashCheck flash = m_device.VerifyFlash(sim::PlanExpectations(EmbeddedImages()));
  EXPECT_TRUE(flash.ok) << flash.summary;

  // Rescan: "Execute" back, both lists back on the preferred port.
  dialog.view.Select(PortList::kMidiIn, -1);
  dialog.view.Select(PortList::kMidiOut, -1);
  dialog.controller.OnRescanClicked();
  EXPECT_EQ(dialog.controller.State(), DialogState::kIdle);
  EXPECT_EQ(dialog.view.State(), kIdle);
  EXPECT_EQ(dialog.view.List(PortList::kMidiIn).selected, 0);
  EXPECT_EQ(dialog.view.List(PortList::kMidiOut).selected, 0);
}

// Verified by default; a device that cannot read its flash back is updated all the same, and a
// box of ours says that nothing was verified.
TEST_F(DialogControllerTest, UpdateOfADeviceThatCannotReadBackSaysSo) {
  for (const bool readsBack : {true, false}) {
    if (!readsBack) m_device.AddFault(sim::FaultRule::LimitReads(sim::FaultAction::kRefuseRead, 4));
    Dialog dialog;
    dialog.controller.OnExecuteClicked();
    ASSERT_TRUE(dialog.WaitForState(DialogState::kCompleted, kUpdateTimeout));
    EXPECT_EQ(dialog.view.Status(), "Version update completed.");
    EXPECT_TRUE(dialog.view.ErrorBoxes().empty());
    if (readsBack) {
      dialog.view.PumpFor(200ms);
      EXPECT_TRUE(dialog.view.InfoBoxes().empty());
      EXPECT_GT(m_device.Count(RequestKind::kReadFlash), 1000);
      continue;
    }
    EXPECT_TRUE(dialog.WaitFor([&] { return !dialog.view.InfoBoxes().empty(); }));
    ASSERT_EQ(dialog.view.InfoBoxes().size(), 1u);
    EXPECT_EQ(dialog.view.InfoBoxes()[0].caption, kTitle);
    EXPECT_EQ(dialog.view.InfoBoxes()[0].text,
              "The update is complete, but this device cannot read its flash memory back, so the "
              "update could not be verified.");
  }
}

TEST_F(DialogControllerTest, FailedUpdateGivesEveryControlBack) {
  m_device.SetUpdateMode(false);
  Dialog dialog;
  for (int run = 1; run <= 2; ++run) {
    dialog.controller.OnExecuteClicked();
    ASSERT_TRUE(dialog.WaitForState(DialogState::kIdle)) << "run " << run;
    EXPECT_EQ(dialog.view.State(), kIdle);
  }
  ExpectErrorBoxes(dialog.view, {"Please use the firmware update mode.",
                                 "Please use the firmware update mode."});
}

// A port that cannot be opened, or one that is not the virtual device while the dialog carries
// the stand-in set: one box, the state as it was, nothing sent to the device.
struct OpenFailure {
  const char* what;
  int32_t instanceNumber;
  int32_t midiIn, midiOut;  // selections before "Execute"; -2 keeps the preselection
  const char* text;
  bool standInAllowed = true;  // TARN_ALLOW_STAND_IN=1: the ports decide
};

const char* const kStandInRefused =
    "This updater carries only the stand-in firmware image set, which would leave a real device "
    "unable to start, so nothing was sent to the device. Give it the device maker's image set "
    "with --firmware PATH (see the README).";

// Failure messages and the test list show the case by its name, not its bytes.
void PrintTo(const OpenFailure& c, std::ostream* out) {
  *out << c.what;
}

class PortsThatCannotOpen : public DialogControllerTest,
                            public testing::WithParamInterface<OpenFailure> {};

TEST_P(PortsThatCannotOpen, AreReportedAndNothingStarts) {
  const OpenFailure& c = GetParam();
  const StandInOptIn optIn(c.standInAllowed);
  Dialog dialog(c.instanceNumber);
  if (c.midiIn != -2) dialog.view.Select(PortList::kMidiIn, c.midiIn);
  if (c.midiOut != -2) dialog.view.Select(PortList::kMidiOut, c.midiOut);
  dialog.controller.OnExecuteClicked();
  ExpectErrorBoxes(dialog.view, {c.text});
  EXPECT_EQ(dialog.controller.State(), DialogState::kIdle);
  EXPECT_EQ(dialog.view.State(), kIdle);
  dialog.view.PumpFor(50ms);
  EXPECT_TRUE(m_device.Received().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortsThatCannotOpen,
    testing::Values(
        // Copy 2 looks for "DAXO Tarn Series (2)": nothing is preselected on either side.
        OpenFailure{"copy 2", 2, -2, -2, "Can't open MIDI Out device."},
        OpenFailure{"no output", 1, -2, -1, "Can't open MIDI Out device."},
        OpenFailure{"no input", 1, -1, -2, "Can't open MIDI In device."},
        OpenFailure{"neither", 1, -1, -1, "Can't open MIDI Out device."},
        // Without the opt-in, anything but the virtual device on both sides is refused first.
        OpenFailure{"stand-in, copy 2", 2, -2, -2, kStandInRefused, false},
        OpenFailure{"stand-in, no output", 1, -2, -1, kStandInRefused, false},
        OpenFailure{"stand-in, no input", 1, -1, -2, kStandInRefused, false}),
    [](const testing::TestParamInfo<OpenFailure>& info) { return TestName(info.param.what); });

// A device lock that cannot be kept is no port that failed: the box names the lock file and
// the fix, and nothing starts.
TEST_F(DialogControllerTest, LockThatCannotBeKeptIsNamedInstead) {
#ifdef _WIN32
  const char* variable = "TMP";
  const std::string missing = "C:\\tarn-no-such-folder";
  const std::string separator = "\\";
#else
  const char* variable = "XDG_RUNTIME_DIR";
  const std::string missing = "/tarn-no-such-folder";
  const std::string separator = "/";
#endif
  const std::optional<std::string> old = Variable(variable);
  SetVariable(variable, missing);
  Dialog dialog;
  dialog.controller.OnExecuteClicked();
  SetVariable(variable, old);
  ASSERT_EQ(dialog.view.ErrorBoxes().size(), 1u);
  const std::string& text = dialog.view.ErrorBoxes()[0].text;
  EXPECT_EQ(dialog.view.ErrorBoxes()[0].caption, "Error");
  EXPECT_EQ(text.rfind("The lock file " + missing + separator + "tarn-updater-", 0), 0u) << text;
  EXPECT_NE(text.find(" cannot be made or opened. Check that its folder exists"), std::string::npos)
      << text;
  EXPECT_EQ(dialog.controller.State(), DialogState::kIdle);
  EXPECT_EQ(dialog.view.State(), kIdle);
  dialog.view.PumpFor(50ms);
  EXPECT_TRUE(m_device.Received().empty());
}

TEST_F(DialogControllerTest, CopyTwoIsTitledWithItsNumber) {
  Dialog dialog(2);
  EXPECT_EQ(dialog.view.Title(), kTitle + " (2)");
  EXPECT_EQ(dialog.view.List(PortList::kMidiOut).selected, -1);
}

TEST_F(DialogControllerTest, ExecuteWhileBusyShowsInProgress) {
  m_device.AddFault(sim::FaultRule::SilentFrom(1));
  Dialog dialog;
  dialog.controller.OnExecuteClicked();
  ASSERT_EQ(dialog.controller.State(), DialogState::kUpdating);
  // "Execute" is disabled now; the handler is reached the way Enter or a message would.
  dialog.controller.OnExecuteClicked();
  ExpectErrorBoxes(dialog.view, {"In Progress."});
  EXPECT_EQ(dialog.controller.State(), DialogState::kUpdating);
  EXPECT_EQ(dialog.view.State(), kUpdating);
}

class UnstartableController : public DialogController {
 public:
  using DialogController::DialogController;

 protected:
  bool StartWorker() override { return false; }
};

TEST_F(DialogControllerTest, WorkerThatCannotStartIsReportedAndControlsComeBack) {
  Dialog<UnstartableController> dialog;
  dialog.controller.OnExecuteClicked();
  ExpectErrorBoxes(dialog.view, {"Can't start the update."});
  EXPECT_EQ(dialog.controller.State(), DialogState::kIdle);
  EXPECT_EQ(dialog.view.State(), kIdle);
}

// Without an update to lose, every way of closing closes at once and asks nothing.
TEST_F(DialogControllerTest, IdleAndCompletedDialogsCloseWithoutAsking) {
  for (const bool completed : {false, true}) {
    for (const CloseRequest request :
         {CloseRequest::kExitButton, CloseRequest::kCloseBox, CloseRequest::kEscapeKey}) {
      SCOPED_TRACE(testing::Message()
                   << "completed " << completed << ", request " << static_cast<int>(request));
      Dialog dialog;
      if (completed) {
        dialog.controller.OnExecuteClicked();
        ASSERT_TRUE(dialog.WaitForState(DialogState::kCompleted, kUpdateTimeout));
        ASSERT_TRUE(m_device.WaitIdle(5000ms));
      }
      dialog.controller.OnCloseRequested(request);
      EXPECT_TRUE(dialog.view.Closed());
      EXPECT_TRUE(dialog.view.Questions().empty());
    }
  }
}

// While an update runs, Escape does nothing; "Exit" and the close box ask first.
TEST_F(DialogControllerTest, StopQuestionGuardsARunningUpdate) {
  Dialog dialog;
  dialog.controller.OnExecuteClicked();
  ASSERT_TRUE(dialog.WaitFor([&] { return m_device.Count(RequestKind::kWriteBlock) > 0; }));

  dialog.controller.OnCloseRequested(CloseRequest::kEscapeKey);
  EXPECT_FALSE(dialog.view.Closed());
  EXPECT_TRUE(dialog.view.Questions().empty());

  // "No", while the update goes on under the question: nothing changes.
  dialog.view.WhileQuestionOpen([&] {
    const int32_t writes = m_device.Count(RequestKind::kWriteBlock);
    dialog.WaitFor([&] { return m_device.Count(RequestKind::kWriteBlock) > writes + 5; });
  });
  for (const CloseRequest request : {CloseRequest::kExitButton, CloseRequest::kCloseBox}) {
    dialog.controller.OnCloseRequested(request);
    EXPECT_FALSE(dialog.view.Closed());
    EXPECT_EQ(dialog.controller.State(), DialogState::kUpdating);
  }
  ASSERT_EQ(dialog.view.Questions().size(), 2u);
  for (const SeenBox& question : dialog.view.Questions()) {
    EXPECT_EQ(question.caption, kTitle);
    EXPECT_EQ(question.text, kStopQuestion);
  }

  // "Yes": stopped as closing stops it, silently; the device hears nothing more.
  dialog.view.WhileQuestionOpen({});
  dialog.view.Answer({true});
  dialog.controller.OnCloseRequested(CloseRequest::kExitButton);
  EXPECT_TRUE(dialog.view.Closed());
  ASSERT_TRUE(m_device.WaitIdle(5000ms));
  const size_t received = m_device.Received().size();
  dialog.view.PumpFor(100ms);
  EXPECT_EQ(m_device.Received().size(), received);
  EXPECT_TRUE(dialog.view.ErrorBoxes().empty());
}

// Closing in the middle of an update, in every way a user can, at moments spread over the
// identity exchange, the erasing and the block transfer: no box, no hang, nothing left running.
TEST_F(DialogControllerTest, ClosingDuringAnUpdateEndsCleanlyWithoutABox) {
  std::mt19937 random(20240517);
  std::uniform_int_distribution<int> delayMs(0, 400);
  for (int run = 0; run < 30; ++run) {
    SCOPED_TRACE(testing::Message() << "run " << run);
    auto dialog = std::make_unique<Dialog<>>();
    dialog->controller.OnExecuteClicked();
    dialog->view.PumpFor(std::chrono::milliseconds(delayMs(random)));
    const bool running = dialog->controller.State() == DialogState::kUpdating;
    if (run % 3 == 2) {
      dialog->controller.OnCloseRequested(CloseRequest::kEscapeKey);
      EXPECT_EQ(dialog->view.Closed(), !running);
    }
    dialog->view.Answer({true});
    dialog->controller.OnCloseRequested(run % 3 == 1 ? CloseRequest::kCloseBox
                                                     : CloseRequest::kExitButton);
    EXPECT_TRUE(dialog->view.Closed());
    EXPECT_EQ(dialog->view.Questions().size(), running ? 1u : 0u);
    EXPECT_TRUE(dialog->view.ErrorBoxes().empty());
    dialog.reset();  // waits for the worker
    // The next copy starts once the device has answered what this one sent.
    ASSERT_TRUE(m_device.WaitIdle(5000ms));
  }
}

// The worker waits on its own error box and has not ended the update: closing then is asked
// about as during the transfer, Escape does nothing, "No" keeps the window, and "Yes" closes it,
// the box with it, and lets the worker go.
TEST_F(DialogControllerTest, ClosingWhileTheWorkersBoxIsOpenAsksFirst) {
  m_device.SetUpdateMode(false);
  auto dialog = std::make_unique<Dialog<>>();
  bool closedAtNo = true;
  dialog->view.WhileErrorBoxOpen([&] {
    dialog->controller.OnCloseRequested(CloseRequest::kEscapeKey);
    dialog->controller.OnCloseRequested(CloseRequest::kExitButton);  // no answer given: "No"
    closedAtNo = dialog->view.Closed();
    dialog->view.Answer({true});
    dialog->controller.OnCloseRequested(CloseRequest::kCloseBox);
  });
  dialog->controller.OnExecuteClicked();
  ASSERT_TRUE(dialog->WaitFor([&] { return dialog->view.Closed(); }));
  EXPECT_FALSE(closedAtNo);
  EXPECT_EQ(dialog->view.Questions().size(), 2u);
  ExpectErrorBoxes(dialog->view, {"Please use the firmware update mode."});
  dialog.reset();
}

}  // namespace
}  // namespace tarn::test
