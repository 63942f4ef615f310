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

    /** How long a move or removal that another program blocks is tried
        again. A virus scanner commonly holds a freshly written binary for a
        few seconds, and a host holds a loaded plug-in until it lets go: the
        pauses grow from a moment to a second, for up to ten seconds in all. */
    struct RetryPolicy
    {
        int firstPauseMilliseconds = 50;
        int longestPauseMilliseconds = 1000;
        int totalPauseMilliseconds = 10000;

        /** Told of each refusal just before the pause that follows it. */
        std::function<void (const FileResult&)> onWait;

        /** Asked before each pause; true ends the waiting at once. */
        std::function<bool()> giveUp;

        static RetryPolicy once()  { return { 0, 0, 0, {}, {} }; }
    };

    /** Runs a call again while it fails with accessDenied or inUse; a full
        disk, or any other refusal, is final at once. */
    FileResult retrying (FileSystem&, const RetryPolicy&, const std::function<FileResult()>& call);

    /** How deep the whole-tree calls below go: far deeper than any plug-in
        bundle. Something deeper is not ours, and is refused with a reason. */
    inline constexpr int maxDepth = 256;

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

    /** Opens a folder by its full path, making it and any missing folders on
        the way first: each is made in the one above it as that was opened,
        then opened from there, so the folder opened is the one made. A file
        in the way fails with alreadyExists. */
    FileResult openMakingMissing (FileSystem&, const juce::File& path, Folder& out);
}
