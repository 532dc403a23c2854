#include "platform/volume_device.h"

#include <thread>

namespace qm {

void VolumeDevice::Pause(std::chrono::milliseconds duration) {
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + duration);
}

}  // namespace qm
