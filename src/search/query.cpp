#include "search/query.h"

#include "config/trim_blanks.h"
#include "index/name_pool.h"

namespace qm {

namespace {

constexpr std::u16string_view kContentPrefix = u"s:";

}  // namespace

void AppendExtensionList(std::u16string_view list, std::vector<std::u16string>* extensions) {
  while (true) {
    const size_t comma = list.find(u',');
    const std::u16string_view piece = TrimmedView(list.substr(0, comma));
    if (!piece.empty()) {
      std::u16string extension;
      if (piece.front() != u'.') extension.push_back(u'.');
      extension += FoldCase(piece);
      extensions->push_back(std::move(extension));
    }
    if (comma == std::u16string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
}

ParsedQuery ParseQuery(std::u16string_view query) {
  ParsedQuery parsed;
  query = TrimmedView(query);
  if (!query.starts_with(kContentPrefix)) return parsed;
  const std::u16string_view body = TrimmedView(query.substr(kContentPrefix.size()));
  if (body.empty()) return parsed;
  parsed.isContent = true;
  const size_t bar = body.find(u'|');
  if (bar == std::u16string_view::npos) {
    parsed.text = body;
    parsed.extensions.push_back(u".txt");
  } else {
    parsed.text = TrimmedView(body.substr(0, bar));
    AppendExtensionList(body.substr(bar + 1), &parsed.extensions);
  }
  return parsed;
}

bool NameMatches(const NamePool& names, const FileRecord& record, std::u16string_view foldedQuery) {
  if (record.deleted) return false;
  if (foldedQuery.empty()) return true;
  if (record.nameLength < foldedQuery.size()) return false;
  const std::u16string_view name(names.At(record.name), record.nameLength);
  for (size_t k = 0; k + foldedQuery.size() <= name.size(); ++k) {
    if (FoldedEquals(name.substr(k, foldedQuery.size()), foldedQuery)) return true;
  }
  return false;
}

bool ExtensionListed(std::u16string_view name, const std::vector<std::u16string>& extensions) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return false;
  const std::u16string_view extension = name.substr(dot);
  for (const std::u16string& listed : extensions) {
    if (FoldedEquals(extension, listed)) return true;
  }
  return false;
}

bool ExtensionListed(const char16_t* name, const std::vector<std::u16string>& extensions) {
  return ExtensionListed(std::u16string_view(name), extensions);
}

bool TagAccepts(const NamePool& names, const FileRecord& record, size_t tagIndex,
                const FilterTagList& tags) {
  if (record.deleted) return false;
  if (tagIndex == 0 || tagIndex >= tags.size()) return true;
  if (record.isDirectory) return false;
  return ExtensionListed(std::u16string_view(names.At(record.name), record.nameLength),
                         tags[tagIndex].extensions);
}

std::u16string HighlightTermOf(std::u16string_view searchBoxText) {
  std::u16string_view term = TrimmedView(searchBoxText);
  if (term.starts_with(kContentPrefix)) {
    term.remove_prefix(kContentPrefix.size());
    term = term.substr(0, term.find(u'|'));
  }
  return FoldCase(TrimmedView(term));
}

}  // namespace qm
