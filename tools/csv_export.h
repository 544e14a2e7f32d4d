#pragma once

#include "commands/operator_view.h"

#include <string>
#include <vector>

namespace kalvenor {

// A register table as CSV text: the header line, then one line per row with the four cells
// exactly as shown, joined by ';', no quoting; every line ends in CR LF.
std::string registerTableCsv(const std::vector<RegisterRow>& rows);

enum class FileSaveResult
{
    Saved,
    CannotCreate, // the file could not be made at all (no such directory, not writable, ...)
    WriteFailed, // created, but not every byte reached the disk; the earlier file is untouched
};

// Replaces the file at path with content, all or nothing: the bytes go to a temporary file in
// the same directory, which is renamed over path only after every byte was written, synced
// and closed without error. On failure the temporary file is removed and any earlier file at
// path stays as it was. A new file gets the mode a plain create gives (0666 less the umask); a
// replaced file keeps its mode, and a file the caller may not write is not replaced. A symbolic
// link at path is followed, so its target is replaced.
[[nodiscard]] FileSaveResult saveFileReplacing(const std::string& path, const std::string& content);

} // namespace kalvenor
