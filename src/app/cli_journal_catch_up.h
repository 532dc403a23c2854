// Before the headless front end runs its command, each drive's journal monitor applies every
// change its volume's journal held at start-up, so that the command sees the volume as it is.
#pragma once

#include <functional>

namespace qm::cli {

// Waits until every drive's monitor has applied the journal up to where it stood when asked,
// or has stopped, or a minute has passed, or `giveUp` (when given, asked between polls) is true.
void AwaitJournalMonitors(const std::function<bool()>& giveUp = {});

}  // namespace qm::cli
