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
            fs.pause (pause, policy.giveUp);
            paused += pause;
            pause *= 2;
        }
    }

    namespace
    {
        /** One folder of a walk: opened from the one before it (or from the
            folder the walk started in), with the names it held when listed. */
        struct Level
        {
            juce::String name;
            Folder folder;
            std::vector<juce::String> names;
            size_t next = 0;
            bool changed = false;
            int looks = 1;
        };

        /** The folders a walk has entered, deepest last. Kept on the heap and
            bounded, so that no tree, however deep, can exhaust the stack. */
        class Walk
        {
        public:
            Walk (FileSystem& f, const Folder& s) : fs (f), start (s) {}

            bool isEmpty() const noexcept      { return levels.empty(); }
            Level& deepest() noexcept          { return levels.back(); }
            const Folder& containerOfDeepest() const noexcept
            {
                return levels.size() > 1 ? levels[levels.size() - 2].folder : start;
            }

            const Folder& current() const noexcept  { return levels.empty() ? start : levels.back().folder; }

            /** Opens a folder of the current one and goes into it. */
            FileResult enter (const juce::String& name, const RetryPolicy& policy)
            {
                const auto& container = current();

                if (levels.size() >= (size_t) maxDepth)
                    return { FileError::other, 0, "folders nested deeper than " + juce::String (maxDepth) + " levels", container.pathOf (name) };

                Level level { name, {}, {} };
                if (auto result = retrying (fs, policy, [&] { return fs.openFolder (container, name, level.folder); }); ! result.ok())
                    return result;

                level.names = fs.namesIn (level.folder);
                levels.push_back (std::move (level));
                return {};
            }

            /** Leaves the deepest folder, closing it. */
            Level leave()
            {
                auto level = std::move (levels.back());
                levels.pop_back();
                level.folder = {};
                return level;
            }

        private:
            FileSystem& fs;
            const Folder& start;
            std::vector<Level> levels;
        };
    }

    FileResult removeTree (FileSystem& fs, const Folder& parent, const juce::String& name, const RetryPolicy& policy)
    {
        const auto removeEntry = [&] (const Folder& folder, const juce::String& entry)
        {
            return retrying (fs, policy, [&] { return fs.removeFile (folder, entry); });
        };

        switch (fs.kindOf (parent, name))
        {
            case EntryKind::missing:  return {};
            case EntryKind::file:
            case EntryKind::link:     return removeEntry (parent, name);
            case EntryKind::folder:   break;
        }

        Walk walk (fs, parent);
        if (auto result = walk.enter (name, policy); ! result.ok())
            return result;

        while (! walk.isEmpty())
        {
            auto& level = walk.deepest();

            if (level.next < level.names.size())
            {
                const auto child = level.names[level.next++];
                FileResult result;

                switch (fs.kindOf (level.folder, child))
                {
                    case EntryKind::missing:  break;
                    case EntryKind::file:
                    case EntryKind::link:     result = removeEntry (level.folder, child); break;
                    case EntryKind::folder:   result = walk.enter (child, policy); break;
                }

                if (! result.ok())
                    return result;

                continue;
            }

            // Emptied: the folder goes, closed first, as Windows keeps the name
            // of a folder that is still open.
            const auto& container = walk.containerOfDeepest();
            const auto looks = level.looks;
            const auto emptied = walk.leave();
            auto result = retrying (fs, policy, [&] { return fs.removeFolder (container, emptied.name); });

            if (result.ok())
                continue;

            // Someone may have put something under the name meanwhile: a link
            // in place of the folder goes as a link, and a folder that gained
            // entries is emptied again, a few times at most.
            switch (looks < 3 ? fs.kindOf (container, emptied.name) : EntryKind::folder)
            {
                case EntryKind::missing:  break;
                case EntryKind::file:
                case EntryKind::link:     if (result = removeEntry (container, emptied.name); ! result.ok()) return result; break;
                case EntryKind::folder:
                    if (looks >= 3 || ! walk.enter (emptied.name, policy).ok())
                        return result;
                    walk.deepest().looks = looks + 1;
                    break;
            }
        }

        return {};
    }

    FileResult renameEntries (FileSystem& fs, const Folder& parent, const juce::String& name,
                              const std::function<juce::String (const juce::String&)>& rename, bool flush)
    {
        if (fs.kindOf (parent, name) != EntryKind::folder)
            return {};

        Walk walk (fs, parent);
        if (auto result = walk.enter (name, RetryPolicy::once()); ! result.ok())
            return result;

        // A folder's own entries are renamed once everything inside them is.
        const auto renameChild = [&] (Level& level, const juce::String& child) -> FileResult
        {
            const auto renamed = rename (child);
            if (renamed == child)
                return {};

            level.changed = true;
            return fs.move (level.folder, child, level.folder, renamed);
        };

        while (! walk.isEmpty())
        {
            auto& level = walk.deepest();

            if (level.next < level.names.size())
            {
                const auto child = level.names[level.next++];

                if (fs.kindOf (level.folder, child) == EntryKind::folder)
                {
                    if (auto result = walk.enter (child, RetryPolicy::once()); ! result.ok())
                        return result;
                }
                else if (auto result = renameChild (level, child); ! result.ok())
                {
                    return result;
                }

                continue;
            }

            if (flush && level.changed)
                if (auto result = fs.flushFolder (level.folder); ! result.ok())
                    return result;

            const auto finished = walk.leave();
            if (! walk.isEmpty())
                if (auto result = renameChild (walk.deepest(), finished.name); ! result.ok())
                    return result;
        }

        return {};
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
