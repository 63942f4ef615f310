#include "FileTree.h"

namespace FileTree
{
    using platform::EntryKind;
    using platform::FileError;

    FileResult retrying (FileSystem& fs, const RetryPolicy& policy, const std::function<FileResult()>& call)
    {
        int paused = 0, pause = policy.firstPauseMilliseconds;

        for (;;)
        {
            auto result = call();
            const bool transient = result.error == FileError::accessDenied || result.error == FileError::inUse;

            if (result.ok() || ! transient || paused >= policy.totalPauseMilliseconds || (policy.giveUp && policy.giveUp()))
                return result;

            if (policy.onWait)
                policy.onWait (result);

            pause = std::min ({ pause, policy.longestPauseMilliseconds, policy.totalPauseMilliseconds - paused });
            fs.pause (pause);
            paused += pause;
            pause *= 2;
        }
    }

    FileResult removeTree (FileSystem& fs, const Folder& parent, const juce::String& name, const RetryPolicy& policy)
    {
        // Someone may put something else under the name while it is emptied
        // (a link in place of a folder): it is then removed as what it now is.
        FileResult result;

        for (int look = 0; look < 3; ++look)
        {
            const auto kind = fs.kindOf (parent, name);

            switch (kind)
            {
                case EntryKind::missing:
                    return {};

                case EntryKind::file:
                case EntryKind::link:
                    return retrying (fs, policy, [&] { return fs.removeFile (parent, name); });

                case EntryKind::folder:
                {
                    {
                        Folder folder;
                        result = retrying (fs, policy, [&] { return fs.openFolder (parent, name, folder); });

                        if (result.ok())
                            for (const auto& child : fs.namesIn (folder))
                                if (result = removeTree (fs, folder, child, policy); ! result.ok())
                                    return result;
                    }

                    // Closed first: Windows keeps a folder's name while a handle to it is open.
                    if (result.ok())
                        result = retrying (fs, policy, [&] { return fs.removeFolder (parent, name); });

                    if (result.ok() || fs.kindOf (parent, name) == EntryKind::folder)
                        return result;

                    break;
                }
            }
        }

        return result;
    }

    FileResult renameEntries (FileSystem& fs, const Folder& parent, const juce::String& name,
                              const std::function<juce::String (const juce::String&)>& rename, bool flush)
    {
        if (fs.kindOf (parent, name) != EntryKind::folder)
            return {};

        Folder folder;
        if (auto result = fs.openFolder (parent, name, folder); ! result.ok())
            return result;

        bool changed = false;

        for (const auto& child : fs.namesIn (folder))
        {
            if (auto result = renameEntries (fs, folder, child, rename, flush); ! result.ok())
                return result;

            const auto renamed = rename (child);
            if (renamed == child)
                continue;

            if (auto result = fs.move (folder, child, folder, renamed); ! result.ok())
                return result;

            changed = true;
        }

        return flush && changed ? fs.flushFolder (folder) : FileResult {};
    }

    FileResult openMakingMissing (FileSystem& fs, const juce::File& path, Folder& out)
    {
        const auto opened = fs.openFolder (path, out);
        if (opened.ok() || opened.error != FileError::missing)
            return opened;

        juce::StringArray missing;
        Folder parent;

        for (auto f = path;; f = f.getParentDirectory())
        {
            if (f == f.getParentDirectory())
                return opened;

            missing.insert (0, f.getFileName());

            if (auto result = fs.openFolder (f.getParentDirectory(), parent); result.ok())
                break;
            else if (result.error != FileError::missing)
                return result;
        }

        for (const auto& name : missing)
        {
            if (auto result = fs.createFolder (parent, name); ! result.ok() && result.error != FileError::alreadyExists)
                return result;

            Folder child;
            if (auto result = fs.openFolder (parent, name, child); ! result.ok())
                return fs.kindOf (parent, name) == EntryKind::file ? FileResult { FileError::alreadyExists, result.code, "a file is in the way", result.path }
                                                                   : result;
            parent = std::move (child);
        }

        out = std::move (parent);
        return {};
    }
}
