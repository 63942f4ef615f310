#pragma once

#include "../platform/FileSystem.h"
#include <functional>

/** Whole-tree work over the engine's file calls. Every folder is entered by
    opening it from the folder it is in, never by a path, and none of it
    follows a link: a link inside a tree is treated as a file of its own. */
namespace FileTree
{
    using platform::FileResult;
    using platform::FileSystem;
    using platform::Folder;

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

    /** Removes an entry of a folder: a file, a link, or a folder with
        everything in it. Stops at the first entry that cannot be removed and
        says why. */
    FileResult removeTree (FileSystem&, const Folder& parent, const juce::String& name, const RetryPolicy&);

    /** Renames every entry below the folder `name` in `parent` (not that
        folder itself) whose name `rename` maps to another name, deepest first.
        With `flush`, each folder whose entries changed is flushed once they
        all have. Stops at the first failure; does nothing unless `name` is a
        folder. */
    FileResult renameEntries (FileSystem&, const Folder& parent, const juce::String& name,
                              const std::function<juce::String (const juce::String&)>& rename, bool flush);

    /** Opens the folder reached from `root` through the given names (at least
        one), each opened from the one before. */
    FileResult openPath (FileSystem&, const Folder& root, const juce::StringArray& names, Folder& out);
}
