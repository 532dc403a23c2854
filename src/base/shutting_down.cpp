#include "base/shutting_down.h"

namespace qm {

std::atomic<bool> shuttingDown{false};

}  // namespace qm
