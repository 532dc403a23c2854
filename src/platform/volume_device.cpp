#include "platform/volume_device.h"

#include <thread>

namespace qm {

// sleep_until alone can wake a little early under MinGW's threads (seen under Wine), so the
// deadline is checked again until it has passed.
void VolumeDevice::Pause(std::chrono::milliseconds duration) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + duration;
  for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
    std::this_thread::sleep_for(deadline - now);
  }
}

}  // namespace qm
