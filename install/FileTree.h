#pragma once

#include "../platform/FileSystem.h"
#include <functional>

/** Whole-tree work over the engine's file calls. None of it follows a link:
    a link inside a tree is treated as a file of its own. */
namespace FileTree
{
    using platform::FileResult;
    using platform::FileSystem;

    /** How often a move or removal that another program blocks is tried. A
        virus scanner or an indexer commonly holds a freshly written file for a
        moment; about half a second covers that, as the framework's own
        replacement of temporary files allows. */
    struct RetryPolicy
    {
        int attempts = 10;
        int pauseMilliseconds = 50;

        static RetryPolicy once()  { return { 1, 0 }; }
    };

    /** Runs a call again while it fails with accessDenied or inUse. */
    FileResult retrying (FileSystem&, const RetryPolicy&, const std::function<FileResult()>& call);

    /** Removes a file, a link or a folder with everything in it. Stops at the
        first entry that cannot be removed and says why. */
    FileResult removeTree (FileSystem&, const juce::File&, const RetryPolicy&);

    /** Renames every entry below root (not root itself) whose name `rename`
        maps to another name, deepest first. Folders whose entries changed are
        added to `changed`. Stops at the first failure. */
    FileResult renameEntries (FileSystem&, const juce::File& root,
                              const std::function<juce::String (const juce::String&)>& rename,
                              juce::Array<juce::File>& changed);

    /** Flushes each folder given, so that the names in it have reached the disk. */
    FileResult flushFolders (FileSystem&, const juce::Array<juce::File>& folders);
}
