// The name pass's substring test: the same answer as NameMatches for a live record and a
// non-empty folded query, written for the inner loop of a search over millions of records.
//
// Names are stored as given, so the test folds as it compares: a folded query unit that is a
// lower-case letter matches that letter in either case, that is, a name unit with bit 0x20 set
// by an OR equals it (a to z all have that bit). With SSE2 (every x86-64 processor) it
// compares 8 candidate start positions at once against the query's first two units, and
// compares the rest only where both agree. The first 24 positions are always
// compared, so a short name is read up to 24 units past its start: the name pool's slack
// (NamePool::kScanSlack) keeps such reads inside the chunk. Elsewhere it compares unit by unit.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/fold_case.h"
#include "index/name_pool.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// GCC and Clang on x86-64 build one function for AVX2 beside the rest and pick it at run time.
#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__)
#define QM_WIDE_SCAN 1
#endif

namespace qm {

#if defined(QM_WIDE_SCAN)
// True when the processor runs AVX2 instructions (asked once).
bool WideScanAvailable();
#endif

// What a name unit is ORed with before it is compared with the folded query unit `c`: 0x20
// for a letter a to z (so that the capital matches too), nothing for any other unit.
constexpr char16_t CaseBitFor(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(0x20) : char16_t(0);
}

class NameScanner {
 public:
  // `folded` must outlive the scanner. Contains must not be asked with an empty query (every
  // live record matches it; the caller does not scan).
  // `wide`: Find may take 16 positions at a time where the processor can (false: 8, as on
  // every x86-64 processor; tests compare the two).
  explicit NameScanner(std::u16string_view folded, bool wide = true) : query_(folded) {
#if defined(QM_WIDE_SCAN)
    wide_ = wide && WideScanAvailable();
#else
    (void)wide;
#endif
#if defined(__SSE2__)
    const char16_t first = folded.empty() ? 0 : folded[0];
    first_ = _mm_set1_epi16(short(first));
    firstCaseBit_ = _mm_set1_epi16(short(CaseBitFor(first)));
    // A one-unit query has no second unit to compare: that test is left out.
    const char16_t second = folded.size() > 1 ? folded[1] : 0;
    second_ = _mm_set1_epi16(short(second));
    secondCaseBit_ = _mm_set1_epi16(short(CaseBitFor(second)));
    const char16_t last = folded.empty() ? 0 : folded.back();
    last_ = _mm_set1_epi16(short(last));
    lastCaseBit_ = _mm_set1_epi16(short(CaseBitFor(last)));
#endif
  }

  // `name` is a stored name of `length` units (in a NamePool chunk: it may be read past its end).
  bool Contains(const char16_t* name, size_t length) const {
    const size_t queryLength = query_.size();
    if (length < queryLength) return false;
    const size_t last = length - queryLength;  // the last position the query can start at
#if defined(__SSE2__)
    // The first 24 positions are compared whatever the name's length, so that the usual
    // name costs no branch on its length; only a hit or a long name branches.
    uint64_t mask = Group(name, 0) | Group(name, 8) << 16 | Group(name, 16) << 32;
    mask &= last < kFixedPositions ? (uint64_t(2) << (2 * last + 1)) - 1 : ~uint64_t(0);
    if (query_.size() <= 2) {
      // Answered without a branch on the answer for the usual short name: a query most names
      // hold would have such a branch mispredicted for every other name.
      if (mask != 0 || last < kFixedPositions) return mask != 0;
    } else if (mask && Confirm(name, 0, mask)) {
      return true;
    }
    for (size_t k = kFixedPositions; k <= last; k += 8) {
      uint64_t more = Group(name, k);
      if (last - k < 7) more &= (uint64_t(2) << (2 * (last - k) + 1)) - 1;
      if (more && Confirm(name, k, more)) return true;
    }
    return false;
#else
    for (size_t k = 0; k <= last; ++k) {
      if (RestFollows(name + k, 0)) return true;
    }
    return false;
#endif
  }

  // The first position in [from, last] of `text` where the whole query follows, or kNone. The
  // text is read up to 8 units past the end of a query placed at `last`: the caller keeps that
  // inside the chunk's room and slack.
  //
  // A stretch of names holds a query's first two units far more often than its first and last
  // ("ba" against "b?k" for "bak"): the positions where those two agree are the candidates.
  static constexpr size_t kNone = ~size_t(0);
  size_t Find(const char16_t* text, size_t from, size_t last) const {
#if defined(QM_WIDE_SCAN)
    if (wide_) return FindWide(text, from, last);
#endif
    return FindNarrow(text, from, last);
  }

  std::u16string_view query() const {
    return query_;
  }

 private:
  size_t FindNarrow(const char16_t* text, size_t from, size_t last) const {
#if defined(__SSE2__)
    for (size_t k = from; k <= last; k += 8) {
      // Four groups at a time while no candidate shows: more loads in flight, one branch.
      if (last - k >= 31) {
        _mm_prefetch(reinterpret_cast<const char*>(text + k) + 1024, _MM_HINT_T0);
        const __m128i a = EndsHits(text, k), b = EndsHits(text, k + 8);
        const __m128i c = EndsHits(text, k + 16), d = EndsHits(text, k + 24);
        if (!_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)))) {
          k += 24;
          continue;
        }
      }
      uint64_t mask = uint64_t(unsigned(_mm_movemask_epi8(EndsHits(text, k))));
      if (last - k < 7) mask &= (uint64_t(2) << (2 * (last - k) + 1)) - 1;
      for (; mask; mask &= mask - 1, mask &= mask - 1) {
        const size_t start = k + size_t(std::countr_zero(mask)) / 2;
        if (query_.size() <= 2 || RestFollows(text + start, 1)) return start;
      }
    }
#else
    for (size_t k = from; k <= last; ++k) {
      if (RestFollows(text + k, 0)) return k;
    }
#endif
    return kNone;
  }

#if defined(QM_WIDE_SCAN)
  // Find with 16 positions at a time (AVX2), where the processor has it: the pass over a drive's
  // names is bound by the instructions per unit, not by memory. Reads no further than Find.
  size_t FindWide(const char16_t* text, size_t from, size_t last) const;
  bool wide_ = false;
#endif

#if defined(__SSE2__)
  static constexpr size_t kFixedPositions = 24;  // three groups of 8
  static_assert(NamePool::kScanSlack >= kFixedPositions);

  // Two bits for each of the 8 start positions from `k` where the query's first two units (its
  // first, for a one-unit query) agree with the name's.
  uint64_t Group(const char16_t* name, size_t k) const {
    return uint64_t(unsigned(_mm_movemask_epi8(GroupHits(name, k))));
  }
  __m128i GroupHits(const char16_t* name, size_t k) const {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + k));
    __m128i hits = _mm_cmpeq_epi16(_mm_or_si128(units, firstCaseBit_), first_);
    if (query_.size() > 1) {
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + k + 1));
      hits = _mm_and_si128(hits, _mm_cmpeq_epi16(_mm_or_si128(next, secondCaseBit_), second_));
    }
    return hits;
  }

  // The same for the query's first and last units (a one-unit query's only unit twice), for
  // Find.
  __m128i EndsHits(const char16_t* text, size_t k) const {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k));
    const __m128i end =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k + query_.size() - 1));
    return _mm_and_si128(_mm_cmpeq_epi16(_mm_or_si128(units, firstCaseBit_), first_),
                         _mm_cmpeq_epi16(_mm_or_si128(end, lastCaseBit_), last_));
  }

  // True when the rest of the query follows one of the positions `mask` marks (from `k`).
  bool Confirm(const char16_t* name, size_t k, uint64_t mask) const {
    if (query_.size() <= 2) return true;
    for (; mask; mask &= mask - 1, mask &= mask - 1) {
      const size_t start = k + size_t(std::countr_zero(mask)) / 2;
      if (RestFollows(name + start, 2)) return true;
    }
    return false;
  }
#endif

  // True when the query's units from `from` on follow at `at` (its first `from` units agree).
  bool RestFollows(const char16_t* at, size_t from) const {
    for (size_t i = from; i < query_.size(); ++i) {
      if (FoldUnit(at[i]) != query_[i]) return false;
    }
    return true;
  }

  std::u16string_view query_;
#if defined(__SSE2__)
  __m128i first_;
  __m128i firstCaseBit_;
  __m128i second_;
  __m128i secondCaseBit_;
  __m128i last_;
  __m128i lastCaseBit_;
#endif
};

}  // namespace qm
