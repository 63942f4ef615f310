#include "FileTree.h"

namespace FileTree
{
    using platform::EntryKind;
    using platform::FileError;

    FileResult retrying (FileSystem& fs, const RetryPolicy& policy, const std::function<FileResult()>& call)
    {
        for (int attempt = 1;; ++attempt)
        {
            auto result = call();
            const bool transient = result.error == FileError::accessDenied || result.error == FileError::inUse;

            if (result.ok() || ! transient || attempt >= policy.attempts)
                return result;

            fs.pause (policy.pauseMilliseconds);
        }
    }

    FileResult removeTree (FileSystem& fs, const juce::File& path, const RetryPolicy& policy)
    {
        switch (fs.kindOf (path))
        {
            case EntryKind::missing:
                return {};

            case EntryKind::folder:
                for (const auto& name : fs.namesIn (path))
                    if (auto result = removeTree (fs, path.getChildFile (name), policy); ! result.ok())
                        return result;

                return retrying (fs, policy, [&] { return fs.removeFolder (path); });

            case EntryKind::file:
            case EntryKind::link:
                return retrying (fs, policy, [&] { return fs.removeFile (path); });
        }

        return {};
    }

    FileResult renameEntries (FileSystem& fs, const juce::File& root,
                              const std::function<juce::String (const juce::String&)>& rename,
                              juce::Array<juce::File>& changed)
    {
        if (fs.kindOf (root) != EntryKind::folder)
            return {};

        for (const auto& name : fs.namesIn (root))
        {
            const auto child = root.getChildFile (name);

            if (auto result = renameEntries (fs, child, rename, changed); ! result.ok())
                return result;

            const auto renamed = rename (name);
            if (renamed == name)
                continue;

            if (auto result = fs.move (child, root.getChildFile (renamed)); ! result.ok())
                return result;

            changed.addIfNotAlreadyThere (root);
        }

        return {};
    }

    FileResult flushFolders (FileSystem& fs, const juce::Array<juce::File>& folders)
    {
        for (const auto& folder : folders)
            if (auto result = fs.flushFolder (folder); ! result.ok())
                return result;

        return {};
    }
}
