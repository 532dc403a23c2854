// The query language and the predicates that decide whether an indexed entry matches.
//
// A name query is one literal text looked for inside entry names, A to Z folded, nothing
// else special ('*.txt' looks for the four units *.txt). A content query starts with "s:":
//
//   's:invoice'                    text 'invoice' in files ending .txt
//   's:Total due | log, .CSV ,md'  text 'Total due' in files ending .log, .csv or .md
//   's:abc|'                       no extensions: selects no file at all
//   's:a|b|c'                      text 'a', the one extension '.b|c'
//   'S:notes', 's:', 's:  '        name queries for 's:notes' and 's:'
//
// All of these are pure functions. Callers hold the record's drive lock shared while a
// record is read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/fold_case.h"
#include "config/filter_tags.h"
#include "index/file_record.h"
#include "index/name_pool.h"

namespace qm {

struct ParsedQuery {
  bool isContent = false;
  std::u16string text;                     // content query: the text to find, case kept
  std::vector<std::u16string> extensions;  // content query: folded, each with a leading "."
};

// Appends the extensions of a comma-separated list: each piece trimmed and folded, empty
// pieces dropped, a "." put in front of a piece without one (' .TXT , md,' gives .txt, .md).
void AppendExtensionList(std::u16string_view list, std::vector<std::u16string>* extensions);

// Parses a query. The query is trimmed first (trimming twice changes nothing).
ParsedQuery ParseQuery(std::u16string_view query);

// True when `foldedQuery` occurs in the record's name (stored in `names`) with A to Z folded. A
// deleted record never matches; an empty query matches every other record; a name shorter than
// the query is rejected on its stored length before any unit is read. Never allocates.
bool NameMatches(const NamePool& names, const FileRecord& record, std::u16string_view foldedQuery);

// True when the name's extension (from its last "." to the end, folded) equals one element of
// `extensions` exactly: 'archive.tar.GZ' has '.gz', '.bashrc' has '.bashrc', 'file.' has ".".
// A name without "." has none. Never allocates.
bool ExtensionListed(std::u16string_view name, const std::vector<std::u16string>& extensions);
bool ExtensionListed(const char16_t* name, const std::vector<std::u16string>& extensions);

// The filter-tag predicate for the tag at `tagIndex` of `tags` (one snapshot of filterTags for
// the whole filtering). A deleted record is never accepted; the tag at position 0 accepts
// every other entry; any other tag rejects directories and accepts a file whose extension it
// lists. A position beyond the end of `tags` is taken as position 0.
bool TagAccepts(const NamePool& names, const FileRecord& record, size_t tagIndex,
                const FilterTagList& tags);

// The folded term the result list marks in its cells, from the search box's text (the window
// reads at most 255 units of it): trimmed; after "s:" only the text before the first "|";
// trimmed again and folded. Empty for an empty box.
std::u16string HighlightTermOf(std::u16string_view searchBoxText);

}  // namespace qm
