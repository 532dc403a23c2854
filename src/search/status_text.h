// The progress texts the content scan and the property extraction put in the window title:
// posted as WM_SET_TITLE with the worker's generation and a heap buffer the window takes over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/texts.h"

namespace qm {

// Units of a status text buffer, the terminating zero included.
inline constexpr size_t kStatusTextUnits = 128;

// Formats `format` into a new buffer of kStatusTextUnits units, allocated with new[] (the
// receiver frees it with delete[]): each "%zu", "%lu", "%llu" or "%lld" takes the next of `values`
// (at most two; a conversion beyond them gives 0), "%%" gives "%", and anything else is copied.
// At most 127 units are kept; the buffer is always zero-terminated.
char16_t* NewStatusText(std::u16string_view format, uint64_t first, uint64_t second = 0);

// Posts the text `id` (in the process's language) with its two values to the main window as
// WM_SET_TITLE with wParam `generation`. The buffer is freed here when the post fails.
void PostStatusText(uint64_t generation, TextId id, uint64_t first, uint64_t second = 0);

}  // namespace qm
