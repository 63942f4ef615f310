#include "Installer.h"
#include "FileTree.h"
#include "Recovery.h"
#include "ZipDirectory.h"
#include "../platform/FolderLock.h"
#include <numeric>
#include <zlib.h>

using platform::EntryKind;
using platform::FileError;
using platform::FileResult;
using platform::FileSystem;
using platform::Folder;
using Step = InstallFailure::Step;

juce::String InstallFailure::reasonFor (Step step, FileError error, const juce::StringArray& holders)
{
    if (error == FileError::diskFull)
        return "the disk is full";

    const auto action = [step]
    {
        switch (step)
        {
            case Step::createFolder:  return "create the install folder";
            case Step::write:         return "write to the install folder";
            case Step::replace:       return "replace the installed copy";
            case Step::remove:        return "remove the installed copy";
        }
        return "";
    }();

    if (error == FileError::accessDenied)
        return juce::String ("no permission to ") + action;

    // Nothing is open in a folder that does not exist yet.
    if (error == FileError::inUse && step != Step::createFolder)
        return juce::String ("could not ") + action + ", a file is in use"
                + (holders.isEmpty() ? juce::String() : " by " + holders.joinIntoString (", "));

    return juce::String ("could not ") + action;
}

namespace
{
    /** How long an install waits for another copy of the program that is
        working in the same folder; installing four formats takes under a second. */
    constexpr int lockWaitMilliseconds = 5000;

    FormatOutcome done()  { return { true, true, {}, {}, FailureKind::none, {} }; }
    FormatOutcome nothingToRemove()  { return { true, true, {}, {}, FailureKind::none, InstallFailure::nothingToRemove }; }

    FormatOutcome failed (const juce::String& reason, FailureKind kind, const juce::String& detail = {})
    {
        return { true, false, reason, detail, kind, {} };
    }

    FailureKind kindOf (FileError error)
    {
        switch (error)
        {
            case FileError::accessDenied:  return FailureKind::accessDenied;
            case FileError::inUse:         return FailureKind::inUse;
            case FileError::diskFull:      return FailureKind::diskFull;
            default:                       return FailureKind::other;
        }
    }

    /** A refusal of the system's, in plain words, naming who holds a file in use. */
    FormatOutcome failed (FileSystem& fs, Step step, const FileResult& result)
    {
        const auto holders = result.error == FileError::inUse ? fs.programsUsing (result.path) : juce::StringArray();
        return failed (InstallFailure::reasonFor (step, result.error, holders), kindOf (result.error),
                       result.path + ": " + result.message);
    }

    FormatOutcome damaged()  { return failed (InstallFailure::damagedArchive, FailureKind::damaged); }
    FormatOutcome stopped()  { return failed (InstallFailure::stopped, FailureKind::stopped); }

    /** The folders of a copy being staged, each made once and opened from the
        one above it. A few dozen stay open at a time; a bundle with more
        folders has the rest opened again, from the top, when needed. */
    class StagedFolders
    {
    public:
        StagedFolders (FileSystem& f, const Folder& t) : fs (f), top (t) {}

        /** Makes (when this run has not yet) and opens the folder the names
            lead to below the top; `out` stays valid until the next call. */
        FileResult open (const juce::StringArray& names, const Folder*& out)
        {
            if (opened.size() > maxOpen)
                opened.clear();

            const Folder* at = &top;
            juce::String key;

            for (const auto& name : names)
            {
                key << "/" << name;
                auto found = opened.find (key);

                if (found == opened.end())
                {
                    if (std::find (made.begin(), made.end(), key) == made.end())
                    {
                        if (auto result = fs.createFolder (*at, name); ! result.ok())
                            return result;

                        made.push_back (key);
                    }

                    Folder folder;
                    if (auto result = fs.openFolder (*at, name, folder); ! result.ok())
                        return result;

                    found = opened.emplace (key, std::move (folder)).first;
                }

                at = &found->second;
            }

            out = at;
            return {};
        }

        /** Flushes every folder made, deepest first, then the top, so that each
            folder's own name reaches the disk after what it holds. */
        FileResult flush()
        {
            auto byDepth = made;
            std::stable_sort (byDepth.begin(), byDepth.end(), [] (const juce::String& a, const juce::String& b)
                              { return a.length() > b.length(); });

            for (const auto& key : byDepth)
            {
                const Folder* folder = nullptr;
                if (auto result = open (juce::StringArray::fromTokens (key.substring (1), "/", {}), folder); ! result.ok())
                    return result;

                if (auto result = fs.flushFolder (*folder); ! result.ok())
                    return result;
            }

            opened.clear();
            return fs.flushFolder (top);
        }

    private:
        static constexpr size_t maxOpen = 48;

        FileSystem& fs;
        const Folder& top;
        std::map<juce::String, Folder> opened;
        std::vector<juce::String> made;
    };

    /** One install or uninstall of one format's item, with the folder locked.
        Every call names an entry of the install folder, or of the working
        folder as this run opened it. */
    class ItemRun
    {
    public:
        ItemRun (FileSystem& f, const Folder& installFolder, const juce::String& itemName, int format, const RunHooks& h)
            : fs (f), folder (installFolder), item (itemName), workName (WorkingItems::folderNameFor (itemName)),
              extension (itemExtensions[(size_t) format]),
              itemKind (isBundleFormat[(size_t) format] ? EntryKind::folder : EntryKind::file),
              hooks (h), retry (waitingPolicy (FileTree::RetryPolicy()))
        {}

        FormatOutcome install (const EmbeddedData& archive)
        {
            if (auto problem = stage (archive))
                return abandon (*problem);

            // The last moment to stop with nothing changed; from here the new
            // copy goes in, or the old one comes back.
            if (stopRequested())
                return abandon (stopped());

            report (Phase::replacing);
            const bool replacing = fs.kindOf (folder, item) != EntryKind::missing;

            if (replacing)
            {
                if (auto result = WorkingItems::hideNames (fs, folder, item, extension); ! result.ok())
                    return abandon (failed (fs, Step::replace, result));

                if (auto result = retried ([&] { return fs.move (folder, item, work, WorkingItems::previous); }); ! result.ok())
                    return abandon (failed (fs, Step::replace, result));
            }

            if (auto result = retried ([&] { return fs.move (work, WorkingItems::staged, folder, item); }); ! result.ok())
                return rollBack (failed (fs, Step::replace, result));

            // What went in must be the copy staged here: had something else been
            // put in its place (a link), it would now be reported as the plug-in.
            if (fs.kindOf (folder, item) != itemKind)
                return rollBack (failed (fs, Step::replace, { FileError::other, 0, "not the copy that was written", folder.pathOf (item) }));

            if (auto result = WorkingItems::revealNames (fs, folder, item, extension); ! result.ok())
                return rollBack (failed (fs, Step::replace, result));

            if (auto result = fs.flushFolder (folder); ! result.ok())
                return rollBack (failed (fs, Step::replace, result));

            // The new item is whole and on the disk. What is left is clutter:
            // a copy that cannot go now (a host may hold the old one) is hidden,
            // and the next run removes it, so it is not waited for long.
            report (Phase::removing);
            if (replacing)
                std::ignore = FileTree::retrying (fs, clutterRetry(), [&] { return fs.move (work, WorkingItems::previous, work, WorkingItems::discarded); });

            removeWorkingFolder();
            return done();
        }

        FormatOutcome uninstall()
        {
            if (fs.kindOf (folder, item) == EntryKind::missing)
                return nothingToRemove();

            report (Phase::removing);

            // The working folder must be on the disk before the item's names
            // are hidden, or a stop there could leave them hidden for good.
            if (auto result = createWorkingFolder(); ! result.ok())
                return abandon (failed (fs, Step::remove, result));

            if (auto result = WorkingItems::hideNames (fs, folder, item, extension); ! result.ok())
                return abandon (failed (fs, Step::remove, result));

            if (auto result = retried ([&] { return fs.move (folder, item, work, WorkingItems::discarded); }); ! result.ok())
                return abandon (failed (fs, Step::remove, result));

            if (auto result = fs.flushFolder (folder); ! result.ok())
            {
                if (retried ([&] { return fs.move (work, WorkingItems::discarded, folder, item); }).ok())
                    return abandon (failed (fs, Step::remove, result));

                return failed (fs, Step::remove, result);     // the next run's recovery clears up
            }

            // The item is gone; a file a host still holds keeps its hidden
            // copy until the next run removes it.
            removeWorkingFolder();
            return done();
        }

    private:
        void report (Phase phase, const juce::String& waitingFor = {})
        {
            if (hooks.progress)
                hooks.progress ({ phase, written, total, waitingFor });
        }

        bool stopRequested() const
        {
            return hooks.stopRequested && hooks.stopRequested();
        }

        /** A policy that tells the run when it waits for a file in use, and
            gives up at once when the run is asked to stop. */
        FileTree::RetryPolicy waitingPolicy (FileTree::RetryPolicy policy)
        {
            policy.onWait = [this] (const FileResult& refused) { report (Phase::waiting, refused.path); };
            policy.giveUp = [this] { return stopRequested(); };
            return policy;
        }

    public:
        /** The retries of the run's own steps, for recovering what an earlier
            run left first. */
        const FileTree::RetryPolicy& waitingRetry() const  { return retry; }

    private:
        /** For what is only clutter once the new copy is in place. */
        FileTree::RetryPolicy clutterRetry()
        {
            return waitingPolicy ({ 50, 200, 450, {}, {} });
        }

        /** Makes the working folder, opens it and flushes its name. */
        FileResult createWorkingFolder()
        {
            if (auto result = fs.createFolder (folder, workName); ! result.ok())
                return result;

            if (auto result = fs.openFolder (folder, workName, work); ! result.ok())
                return result;

            return fs.flushFolder (folder);
        }

        /** Removes the working folder, closed first (Windows keeps the name of
            a folder that is still open). */
        void removeWorkingFolder()
        {
            work = {};
            std::ignore = FileTree::removeTree (fs, folder, workName, clutterRetry());
        }

        /** Extracts the whole archive into the working folder with its names
            hidden, checks every file, and flushes files and folders. Each entry
            must lie inside the plug-in item, and the item must have its
            format's shape (a bundle folder or one file), so that nothing but
            the item is ever moved into the install folder. */
        std::optional<FormatOutcome> stage (const EmbeddedData& archive)
        {
            const auto records = ZipDirectory::read (archive.data, (size_t) std::max (0, archive.size));
            juce::MemoryInputStream source (archive.data, (size_t) std::max (0, archive.size), false);
            juce::ZipFile zip (source);

            if (records.empty() || (size_t) zip.getNumEntries() != records.size())
                return damaged();

            total = std::accumulate (records.begin(), records.end(), uint64_t (0),
                                     [] (uint64_t sum, const ZipDirectory::Entry& e) { return sum + e.size; });
            report (Phase::writing);

            if (auto result = createWorkingFolder(); ! result.ok())
                return failed (fs, Step::write, result);

            StagedFolders folders (fs, work);

            for (int i = 0; i < zip.getNumEntries(); ++i)
            {
                if (stopRequested())
                    return stopped();

                const auto& record = records[(size_t) i];
                const auto name = zip.getEntry (i)->filename;
                const auto relative = name.replaceCharacter ('\\', '/');

                if (name != record.name || ! (relative == item || relative.startsWith (item + "/")))
                    return damaged();

                // The copy is staged as "new"; below it, names are hidden.
                juce::StringArray path { WorkingItems::staged };
                for (const auto& part : juce::StringArray::fromTokens (relative.fromFirstOccurrenceOf (item, false, false), "/", {}))
                {
                    if (part.isEmpty())
                        continue;

                    if (! platform::isSingleName (part) || itemKind != EntryKind::folder)
                        return damaged();

                    path.add (WorkingItems::hiddenName (part, extension));
                }

                const bool isFolder = relative.endsWithChar ('/');
                const auto fileName = isFolder ? juce::String() : path[path.size() - 1];
                if (! isFolder)
                    path.remove (path.size() - 1);

                const Folder* parent = &work;
                if (! path.isEmpty())
                    if (auto result = folders.open (path, parent); ! result.ok())
                        return failed (fs, Step::write, result);

                if (isFolder)
                    continue;

                std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
                if (in == nullptr)
                    return damaged();

                if (auto problem = writeEntry (*in, *parent, fileName, record))
                    return problem;
            }

            report (Phase::checking);
            if (fs.kindOf (work, WorkingItems::staged) != itemKind)
                return damaged();

            report (Phase::flushing);
            if (auto result = folders.flush(); ! result.ok())
                return failed (fs, Step::write, result);

            return std::nullopt;
        }

        /** Writes one file entry, checking what lands on disk against the
            record, and flushes it before it is closed. */
        std::optional<FormatOutcome> writeEntry (juce::InputStream& in, const Folder& parent, const juce::String& name,
                                                 const ZipDirectory::Entry& record)
        {
            platform::OpenFile file;
            if (auto result = fs.createFile (parent, name, file); ! result.ok())
                return failed (fs, Step::write, result);

            const juce::ScopeGuard closeOnFailure { [&] { if (file.handle != -1) std::ignore = fs.close (file); } };

            std::vector<char> buffer (64 * 1024);
            uLong crc = crc32 (0, nullptr, 0);
            uint64_t size = 0;

            for (;;)
            {
                const auto n = in.read (buffer.data(), (int) buffer.size());
                if (n <= 0)
                    break;

                crc = crc32 (crc, reinterpret_cast<const Bytef*> (buffer.data()), (uInt) n);
                size += (uint64_t) n;

                if (auto result = fs.write (file, buffer.data(), (size_t) n); ! result.ok())
                    return failed (fs, Step::write, result);

                written += (uint64_t) n;
                report (Phase::writing);

                if (stopRequested())
                    return stopped();
            }

            if (size != record.size || (uint32_t) crc != record.crc)
                return damaged();

            if (auto result = fs.flush (file); ! result.ok())
                return failed (fs, Step::write, result);

            if (auto result = fs.close (file); ! result.ok())
                return failed (fs, Step::write, result);

            return std::nullopt;
        }

        /** Gives up before anything was moved in: the item is put back to how
            it was (its names revealed) and the working folder removed. When the
            names cannot be revealed, the working folder stays, so that the next
            run's recovery finishes the job. */
        FormatOutcome abandon (const FormatOutcome& outcome)
        {
            if (WorkingItems::revealNames (fs, folder, item, extension).ok())
                removeWorkingFolder();

            return outcome;
        }

        /** Takes a new copy back out of the item's place and returns the old
            one. Neither copy is ever deleted while the other is not in place:
            whatever cannot be moved stays in the working folder, where the next
            run's recovery restores the old copy. */
        FormatOutcome rollBack (const FormatOutcome& outcome)
        {
            if (fs.kindOf (folder, item) != EntryKind::missing)
            {
                std::ignore = WorkingItems::hideNames (fs, folder, item, extension);

                if (! retried ([&] { return fs.move (folder, item, work, WorkingItems::failed); }).ok())
                    return outcome;
            }

            if (fs.kindOf (work, WorkingItems::previous) != EntryKind::missing)
            {
                if (! retried ([&] { return fs.move (work, WorkingItems::previous, folder, item); }).ok())
                    return outcome;

                if (! fs.flushFolder (folder).ok())
                    return outcome;
            }

            return abandon (outcome);
        }

        FileResult retried (const std::function<FileResult()>& call)
        {
            return FileTree::retrying (fs, retry, call);
        }

        FileSystem& fs;
        const Folder& folder;
        const juce::String item, workName, extension;
        const EntryKind itemKind;
        const RunHooks& hooks;
        const FileTree::RetryPolicy retry;
        Folder work;
        uint64_t written = 0, total = 0;
    };

    /** Opens the install folder, making it and the missing folders on its
        path first. */
    std::optional<FormatOutcome> openInstallFolder (FileSystem& fs, const juce::File& installFolder, Folder& out)
    {
        const auto result = FileTree::openMakingMissing (fs, installFolder, out);
        if (result.ok())
            return std::nullopt;

        if (installFolder.existsAsFile() || result.error == FileError::alreadyExists)
            return failed (InstallFailure::folderIsFile, FailureKind::other);

        return failed (fs, Step::createFolder, result);
    }

    /** Runs one item's work with the folder locked, after recovering what an
        earlier run left there. */
    template <typename Work>
    FormatOutcome withFolderLocked (FileSystem& fs, const Folder& folder, const juce::String& item, int format,
                                    Step step, const RunHooks& hooks, Work&& work)
    {
        platform::FolderLock lock (folder);
        const auto stopRequested = [&hooks] { return hooks.stopRequested && hooks.stopRequested(); };

        if (auto result = lock.enter (lockWaitMilliseconds, stopRequested); ! result.ok())
        {
            if (stopRequested())
                return stopped();

            return result.error == FileError::inUse ? failed (InstallFailure::busy, FailureKind::busy, result.path + ": " + result.message)
                                                    : failed (fs, step, result);
        }

        ItemRun run (fs, folder, item, format, hooks);

        if (auto result = recoverInterruptedWork (fs, folder, item, format, run.waitingRetry()); ! result.ok())
            return failed (fs, step, result);

        return work (run);
    }
}

FormatOutcome installFormat (const juce::File& installFolder, const juce::String& productName,
                             int format, const EmbeddedData& archive, FileSystem& fs, const RunHooks& hooks)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return failed (InstallFailure::noFolder, FailureKind::other);

    Folder folder;
    if (auto problem = openInstallFolder (fs, installFolder, folder))
        return *problem;

    return withFolderLocked (fs, folder, item.getFileName(), format, Step::replace, hooks,
                             [&] (ItemRun& run) { return run.install (archive); });
}

FormatOutcome uninstallFormat (const juce::File& installFolder, const juce::String& productName, int format,
                               FileSystem& fs, const RunHooks& hooks)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return failed (InstallFailure::noFolder, FailureKind::other);

    Folder folder;
    if (auto result = fs.openFolder (installFolder, folder); ! result.ok())
        return result.error == FileError::missing || installFolder.existsAsFile() ? nothingToRemove() : failed (fs, Step::remove, result);

    return withFolderLocked (fs, folder, item.getFileName(), format, Step::remove, hooks,
                             [] (ItemRun& run) { return run.uninstall(); });
}
