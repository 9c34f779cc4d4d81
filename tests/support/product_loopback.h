// The virtual device behind the loopback ports under the product's name, as --simulate shows
// it: what the port lists, the preselection and the dialogs of the tests expect to find.
#pragma once

#include "midi/platform/loopback/loopback.h"
#include "resources/product.h"

namespace tarn::test {

// The loopback ports lead to `peer` for as long as this lives, however the test ends.
class ProductLoopback {
 public:
  explicit ProductLoopback(platform::LoopbackPeer& peer) {
    platform::InstallLoopbackPeer(&peer, kDeviceName);
  }
  ~ProductLoopback() { platform::RemoveLoopbackPeer(); }
  ProductLoopback(const ProductLoopback&) = delete;
  ProductLoopback& operator=(const ProductLoopback&) = delete;
};

}  // namespace tarn::test
