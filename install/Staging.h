#pragma once

#include "Installer.h"
#include <optional>

/** How a format's archive becomes a whole copy of its item beside the
    installed one: the first half of an install, before anything in the
    install folder changes (Installer.cpp does the swap). */
namespace Staging
{
    /** Deflated entries up to this size are inflated whole, in one buffer;
        larger ones a slice at a time. Staging holds at most this much, or
        the largest entry if smaller, above what the program holds idle. */
    inline constexpr uint64_t wholeEntryLimit = 64 * 1024 * 1024;

    /** Extracts the whole archive into the working folder `work` as its copy
        "new" of the item, with the names inside it hidden, checks every file
        against the archive's records (size and CRC-32), and flushes files and
        folders, deepest first. Each entry must lie inside the plug-in item,
        and the item must have its format's shape (a bundle folder or one
        file), so that nothing but the item is ever moved into the install
        folder. Tells the hooks what it does, and stops between writes when
        they ask. An outcome when it fails or stops; none when the copy is
        whole and on the disk. */
    std::optional<FormatOutcome> stage (platform::FileSystem&, const platform::Folder& work, const juce::String& itemName,
                                        int format, const EmbeddedData& archive, const RunHooks&);
}
