// The headless front end's exit codes.
#pragma once

namespace qm::cli {

constexpr int kExitOk = 0;
constexpr int kExitNoDrive = 1;       // no drive could be indexed
constexpr int kExitBadArguments = 2;  // bad arguments, an unreadable or malformed image, a
                                      // folder gone or unreadable
constexpr int kExitUnknownPath = 3;   // `open` names a path no indexed entry has
constexpr int kExitNotSaved = 4;      // `open` or `clear-recent` could not save recent.ini

}  // namespace qm::cli
