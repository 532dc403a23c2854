#include "search/results.h"

namespace qm {

std::atomic<uint64_t> searchGeneration{0};
ResultList currentResults;
std::mutex resultsMutex;
std::atomic<int32_t> selectedDrive{0};
std::atomic<int32_t> sortColumn{-1};
std::atomic<bool> sortAscending{true};

}  // namespace qm
