// A replacement journal found in the backup folder at start, read as the recovery reads it:
// whatever it accepts names only targets inside the installation and reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/memory_files.h"
#include "install/replacement_journal.h"
#include "packages/entry_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vaultaide;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ReplacementJournal journal;
    if (parseJournal(bytes, journal)) {
        ReplacementJournal again;
        if (!parseJournal(journalText(journal), again) || again.version != journal.version ||
            again.targets.size() != journal.targets.size() || !isJournalVersion(journal.version))
            __builtin_trap();
        for (const auto& target : journal.targets)
            if (target.relative.empty() || target.relative.find(':') != std::string::npos ||
                target.relative.find("..") == 0 || target.relative[0] == '\\')
                __builtin_trap();
    }
    fuzz::MemoryFile files("B\\journal", bytes);
    readJournal(files, "B", journal);
    return 0;
}
