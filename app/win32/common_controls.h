// The common control classes the dialogs use (the progress bar among them).
#pragma once

namespace tarn {

// Registers every class of the Windows 95 set (flags 0xFF). Once, before a dialog is made.
void InitCommonControlClasses();

}  // namespace tarn
