// The headless front end's search: the steps the window takes for a query typed into the
// search box, a click on a column header and a pick in the filter box, with the outcome
// printed as the window would show it.
#pragma once

#include "app/cli_arguments.h"
#include "app/cli_window.h"

namespace qm::cli {

// Searches for options.query (the recent opens when empty) on the chosen drive, sorts and
// filters as asked, then prints the title, the status line and one line per row (the full
// path, and with --columns the Size, Modified and Created cells after tabs), each ended by a
// line feed, or with --null by a NUL (a file name may hold a line feed). Returns the exit
// code: 2 for a drive or filter tag that does not exist.
int RunSearchCommand(const Options& options, MessageQueue& queue, WindowState& window);

}  // namespace qm::cli
