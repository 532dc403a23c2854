#include "search/name_scan.h"

#if defined(QM_WIDE_SCAN)
#include <immintrin.h>
#endif

namespace qm {

#if defined(QM_WIDE_SCAN)

namespace {
// Asked while the program starts, before any thread of its own runs: no lock guards a first use.
const bool wideScanAvailable = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
}  // namespace

bool WideScanAvailable() {
  return wideScanAvailable;
}

namespace {

// Marks the positions from `k` where the query's first and last units agree with the text's
// (for a one-unit query, its only unit: compared twice, rather than a branch in the loop).
__attribute__((target("avx2"))) inline __m256i HitsAt(const char16_t* text, size_t k, size_t lastAt,
                                                      __m256i first, __m256i firstCaseBit,
                                                      __m256i last, __m256i lastCaseBit) {
  const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + k));
  const __m256i end = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + k + lastAt));
  return _mm256_and_si256(_mm256_cmpeq_epi16(_mm256_or_si256(units, firstCaseBit), first),
                          _mm256_cmpeq_epi16(_mm256_or_si256(end, lastCaseBit), last));
}

}  // namespace

// Few values, all kept in registers: no 32-byte value is ever stored on the stack, which
// MinGW-w64's GCC does not align to 32 bytes.
__attribute__((target("avx2"))) size_t NameScanner::FindWide(const char16_t* text, size_t from,
                                                             size_t last) const {
  const char16_t firstUnit = query_[0];
  const char16_t lastUnit = query_.back();
  const size_t lastAt = query_.size() - 1;
  const __m256i first = _mm256_set1_epi16(short(firstUnit));
  const __m256i firstCaseBit = _mm256_set1_epi16(short(CaseBitFor(firstUnit)));
  const __m256i lastUnits = _mm256_set1_epi16(short(lastUnit));
  const __m256i lastCaseBit = _mm256_set1_epi16(short(CaseBitFor(lastUnit)));
  size_t k = from;
  while (k <= last && last - k >= 31) {
    // Two groups of 16 at a time while no candidate shows: one branch for 32 positions. No
    // prefetch: the processor follows a plain forward stream on its own, and an explicit one
    // measured slower here.
    const __m256i a = HitsAt(text, k, lastAt, first, firstCaseBit, lastUnits, lastCaseBit);
    const __m256i b = HitsAt(text, k + 16, lastAt, first, firstCaseBit, lastUnits, lastCaseBit);
    const __m256i any = _mm256_or_si256(a, b);
    if (_mm256_testz_si256(any, any)) {
      k += 32;
      continue;
    }
    const uint64_t mask = uint64_t(uint32_t(_mm256_movemask_epi8(a))) |
                          uint64_t(uint32_t(_mm256_movemask_epi8(b))) << 32;
    for (uint64_t m = mask; m; m &= m - 1, m &= m - 1) {
      const size_t start = k + size_t(std::countr_zero(m)) / 2;
      if (query_.size() <= 2 || RestFollows(text + start, 1)) return start;
    }
    k += 32;
  }
  return k <= last ? FindNarrow(text, k, last) : kNone;
}

#endif

}  // namespace qm
