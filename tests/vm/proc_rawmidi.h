// What the kernel reports in /proc/asound/cardC/midiD about the rawmidi substreams this
// process holds open: the sizes the driver really uses, and lost input.
#pragma once

#include <string>
#include <vector>

namespace tarn {

struct OpenSubstream {
  bool input = false;
  long bufferSize = 0;
  long overruns = 0;  // input bytes the driver dropped for want of buffer room
};

// The substreams of card `card`, device `device` owned by one of this process's threads.
std::vector<OpenSubstream> OwnSubstreams(int card, int device);

}  // namespace tarn
