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

// Marks the positions from `k` where the first two units agree with the query's (the first
// alone for a one-unit query).
__attribute__((target("avx2"))) inline __m256i HitsAt(const char16_t* text, size_t k, bool pairs,
                                                      __m256i first, __m256i firstCaseBit,
                                                      __m256i second, __m256i secondCaseBit) {
  const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + k));
  __m256i hits = _mm256_cmpeq_epi16(_mm256_or_si256(units, firstCaseBit), first);
  if (pairs) {
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + k + 1));
    hits = _mm256_and_si256(hits, _mm256_cmpeq_epi16(_mm256_or_si256(next, secondCaseBit), second));
  }
  return hits;
}

}  // namespace

// Few values, all kept in registers: no 32-byte value is ever stored on the stack, which
// MinGW-w64's GCC does not align to 32 bytes.
__attribute__((target("avx2"))) size_t NameScanner::FindWide(const char16_t* text, size_t from,
                                                             size_t last) const {
  const char16_t firstUnit = query_[0];
  const char16_t secondUnit = query_.size() > 1 ? query_[1] : 0;
  const __m256i first = _mm256_set1_epi16(short(firstUnit));
  const __m256i firstCaseBit = _mm256_set1_epi16(short(CaseBitFor(firstUnit)));
  const __m256i second = _mm256_set1_epi16(short(secondUnit));
  const __m256i secondCaseBit = _mm256_set1_epi16(short(CaseBitFor(secondUnit)));
  const bool pairs = query_.size() > 1;
  size_t k = from;
  while (k <= last && last - k >= 31) {
    // Two groups of 16 at a time while no candidate shows: one branch for 32 positions.
    _mm_prefetch(reinterpret_cast<const char*>(text + k) + 1024, _MM_HINT_T0);
    const __m256i a = HitsAt(text, k, pairs, first, firstCaseBit, second, secondCaseBit);
    const __m256i b = HitsAt(text, k + 16, pairs, first, firstCaseBit, second, secondCaseBit);
    const __m256i any = _mm256_or_si256(a, b);
    if (_mm256_testz_si256(any, any)) {
      k += 32;
      continue;
    }
    const uint64_t mask = uint64_t(uint32_t(_mm256_movemask_epi8(a))) |
                          uint64_t(uint32_t(_mm256_movemask_epi8(b))) << 32;
    for (uint64_t m = mask; m; m &= m - 1, m &= m - 1) {
      const size_t start = k + size_t(std::countr_zero(m)) / 2;
      if (query_.size() <= 2 || RestFollows(text + start, 2)) return start;
    }
    k += 32;
  }
  return k <= last ? FindNarrow(text, k, last) : kNone;
}

#endif

}  // namespace qm
