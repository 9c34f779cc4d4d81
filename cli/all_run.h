// --all: every connected device updated at once, each with its own session (ports, timer,
// engine context and worker); one device's failure never stops another.
#pragma once

#include "cli/cli_options.h"
#include "cli/run_events.h"
#include "cli/terminal.h"
#include "firmware/firmware_set.h"

namespace tarn::cli {

// The device pairs --all would take, one line each: "in  3  out  4  DAXO Tarn Series (2)".
int ListDevicePairs();

// Runs the update on every device and prints the summary. Returns the combined exit code.
// Nothing is sent when the stand-in set would reach a device that is not the virtual one.
int UpdateAllDevices(const CliOptions& options, const FirmwareSet& images, RunEvents& events,
                     const TerminalStreams& terminals);

}  // namespace tarn::cli
