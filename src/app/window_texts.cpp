#include "app/window_texts.h"

#include <memory>

#include "base/texts.h"
#include "config/decimal.h"
#include "config/filter_tags.h"
#include "search/filter_view.h"
#include "search/status_text.h"

namespace qm {

std::u16string IdleTitle() {
  return std::u16string(Text(TextId::kProductName)) + u" - " +
         std::u16string(Text(TextId::kHomepageHost));
}

std::u16string ResultsTitle(uint64_t count) {
  const std::unique_ptr<char16_t[]> title(NewStatusText(Text(TextId::kTitleResults), count));
  return std::u16string(title.get());
}

std::u16string FilterStatusText(std::u16string_view label, uint64_t hits) {
  return std::u16string(Text(TextId::kStatusFilter)) + std::u16string(label) +
         std::u16string(Text(TextId::kStatusHits)) + DecimalText(hits);
}

std::u16string SearchDoneStatusText(std::u16string_view label, uint64_t total) {
  return total > 0 ? FilterStatusText(label, total) : std::u16string();
}

std::u16string TagButtonText(std::u16string_view label, uint64_t count) {
  return std::u16string(label) + u"\n(" + DecimalText(count) + u")";
}

std::u16string SelectedTagLabel() {
  const FilterTagsSnapshot tags = filterTags.Snapshot();
  const FilterTag* tag = TagAt(*tags, size_t(std::max(selectedTag.load(), 0)));
  return tag ? tag->label : std::u16string();
}

}  // namespace qm
