// The texts the main window shows in its title, its status line and its tag buttons, in the
// language in use. The headless front end prints the same texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The title once the drives are ready: the product name, " - " and the homepage's host.
std::u16string IdleTitle();

// "Quillmarsh - N results found" (formatted as the window's 128-unit title buffer holds it).
std::u16string ResultsTitle(uint64_t count);

// "Filter: LABEL | Hits: N".
std::u16string FilterStatusText(std::u16string_view label, uint64_t hits);

// The status line after a search: the filter text with the total, or nothing for no results.
std::u16string SearchDoneStatusText(std::u16string_view label, uint64_t total);

// A tag button: the label, a line feed and the count in parentheses.
std::u16string TagButtonText(std::u16string_view label, uint64_t count);

// The label of the selected filter tag (the first tag's for a position beyond the list).
std::u16string SelectedTagLabel();

}  // namespace qm
