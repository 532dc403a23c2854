// The order of full paths (BuildPath's, with A to Z folded), found without building them.
//
// All paths that begin with one folder's path and a backslash stand together in that order, and
// among the other entries of the folder's parent they stand where the folder's name followed by
// a backslash would: no name holds a backslash, so the first unit in which that text and the
// name of another entry differ decides for every path below the folder alike. So each folder is
// sorted on its own, its entries by name and its subfolders by name and a backslash, and the
// list is read out folder by folder, each subfolder's entries in its place. A sort touches the
// names of the entries and of the folders they lie in, each a few units at a time, and looks up
// each entry's folder once, in a cache of the folders met that is keyed by reference number.
#pragma once

#include <cstdint>

#include "search/list_order.h"
#include "search/results.h"
#include "search/sort_stop.h"

namespace qm {

// The ascending order of `items` by their full paths, in `order`. Takes each drive's lock shared,
// for a block of entries at a time; the caller must hold none. False when `stop` answered true
// first.
bool OrderByPath(const MatchList& items, SortStop& stop, ListOrder* order);

}  // namespace qm
