// The swap of a staged copy for the installed item, and its rollback: what
// makes an install or uninstall all-or-nothing. Staging is in Staging.cpp,
// the outcomes and their words in Outcome.cpp.

#include "Installer.h"
#include "FileTree.h"
#include "Recovery.h"
#include "Staging.h"
#include "../platform/FolderLock.h"

using platform::EntryKind;
using platform::FileError;
using platform::FileResult;
using platform::FileSystem;
using platform::Folder;
using Step = InstallFailure::Step;

namespace
{
    /** How long an install waits for another copy of the program that is
        working in the same folder; installing four formats takes under a second. */
    constexpr int lockWaitMilliseconds = 5000;

    /** One install or uninstall of one format's item, with the folder locked.
        Every call names an entry of the install folder, or of the working
        folder as this run opened it. */
    class ItemRun
    {
    public:
        ItemRun (FileSystem& f, const Folder& installFolder, const juce::String& itemName, int f0, const RunHooks& h)
            : fs (f), folder (installFolder), item (itemName), workName (WorkingItems::folderNameFor (itemName)),
              extension (itemExtensions[(size_t) f0]),
              itemKind (isBundleFormat[(size_t) f0] ? EntryKind::folder : EntryKind::file),
              hooks (h), format (f0), retry (waitingPolicy (FileTree::RetryPolicy()))
        {}

        FormatOutcome install (const EmbeddedData& archive)
        {
            report (Phase::writing);

            if (auto result = createWorkingFolder(); ! result.ok())
                return abandon (refusal (Step::write, result));

            if (auto problem = Staging::stage (fs, work, item, format, archive, hooks))
                return abandon (*problem);

            // The last moment to stop with nothing changed; from here the new
            // copy goes in, or the old one comes back.
            if (stopRequested())
                return abandon (Outcome::stopped());

            report (Phase::replacing);
            const bool replacing = fs.kindOf (folder, item) != EntryKind::missing;

            if (replacing)
            {
                if (auto result = WorkingItems::hideNames (fs, folder, item, extension); ! result.ok())
                    return abandon (refusal (Step::replace, result));

                if (auto result = retried ([&] { return fs.move (folder, item, work, WorkingItems::previous); }); ! result.ok())
                    return abandon (refusal (Step::replace, result));
            }

            if (auto result = retried ([&] { return fs.move (work, WorkingItems::staged, folder, item); }); ! result.ok())
                return rollBack (refusal (Step::replace, result));

            // What went in must be the copy staged here: had something else been
            // put in its place (a link), it would now be reported as the plug-in.
            if (fs.kindOf (folder, item) != itemKind)
                return rollBack (refusal (Step::replace, { FileError::other, 0, "not the copy that was written", folder.pathOf (item) }));

            if (auto result = WorkingItems::revealNames (fs, folder, item, extension); ! result.ok())
                return rollBack (refusal (Step::replace, result));

            // Both folders the swap renamed between are flushed: a rename is on
            // the disk only once each of its folders is, and what follows
            // removes the old copy.
            if (auto result = flushBothFolders(); ! result.ok())
                return rollBack (refusal (Step::replace, result));

            // The new item is whole and on the disk. What is left is clutter:
            // a copy that cannot go now (a host may hold the old one) is hidden,
            // and the next run removes it, so it is not waited for long.
            report (Phase::removing);
            if (replacing)
                std::ignore = FileTree::retrying (fs, clutterRetry(), [&] { return fs.move (work, WorkingItems::previous, work, WorkingItems::discarded); });

            removeWorkingFolder();
            return Outcome::done();
        }

        FormatOutcome uninstall()
        {
            if (fs.kindOf (folder, item) == EntryKind::missing)
                return Outcome::nothingToRemove();

            report (Phase::removing);

            // The working folder must be on the disk before the item's names
            // are hidden, or a stop there could leave them hidden for good.
            if (auto result = createWorkingFolder(); ! result.ok())
                return abandon (refusal (Step::remove, result));

            if (auto result = WorkingItems::hideNames (fs, folder, item, extension); ! result.ok())
                return abandon (refusal (Step::remove, result));

            if (auto result = retried ([&] { return fs.move (folder, item, work, WorkingItems::discarded); }); ! result.ok())
                return abandon (refusal (Step::remove, result));

            if (auto result = flushBothFolders(); ! result.ok())
            {
                if (retried ([&] { return fs.move (work, WorkingItems::discarded, folder, item); }).ok())
                    return abandon (refusal (Step::remove, result));

                return refusal (Step::remove, result);     // the next run's recovery clears up
            }

            // The item is gone; a file a host still holds keeps its hidden
            // copy until the next run removes it.
            removeWorkingFolder();
            return Outcome::done();
        }

    private:
        FileResult flushBothFolders()
        {
            if (auto result = fs.flushFolder (folder); ! result.ok())
                return result;

            return fs.flushFolder (work);
        }

        FormatOutcome refusal (Step step, const FileResult& result)
        {
            return Outcome::refusal (fs, step, result);
        }

        void report (Phase phase, const juce::String& waitingFor = {})
        {
            if (hooks.progress)
                hooks.progress ({ phase, 0, 0, waitingFor });
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
        const int format;
        const FileTree::RetryPolicy retry;
        Folder work;

        JUCE_DECLARE_NON_COPYABLE (ItemRun)
    };

    /** Opens the install folder, making it and the missing folders on its
        path first. */
    std::optional<FormatOutcome> openInstallFolder (FileSystem& fs, const juce::File& installFolder, Folder& out)
    {
        const auto result = FileTree::openMakingMissing (fs, installFolder, out);
        if (result.ok())
            return std::nullopt;

        if (installFolder.existsAsFile() || result.error == FileError::alreadyExists)
            return Outcome::failure (InstallFailure::folderIsFile, FailureKind::other);

        return Outcome::refusal (fs, Step::createFolder, result);
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
                return Outcome::stopped();

            return result.error == FileError::inUse ? Outcome::failure (InstallFailure::busy, FailureKind::busy, result.path + ": " + result.message)
                                                    : Outcome::refusal (fs, step, result);
        }

        ItemRun run (fs, folder, item, format, hooks);

        if (auto result = recoverInterruptedWork (fs, folder, item, format, run.waitingRetry()); ! result.ok())
            return Outcome::refusal (fs, step, result);

        return work (run);
    }
}

FormatOutcome installFormat (const juce::File& installFolder, const juce::String& productName,
                             int format, const EmbeddedData& archive, FileSystem& fs, const RunHooks& hooks)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return Outcome::failure (InstallFailure::noFolder, FailureKind::other);

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
        return Outcome::failure (InstallFailure::noFolder, FailureKind::other);

    Folder folder;
    if (auto result = fs.openFolder (installFolder, folder); ! result.ok())
        return result.error == FileError::missing || installFolder.existsAsFile() ? Outcome::nothingToRemove() : Outcome::refusal (fs, Step::remove, result);

    return withFolderLocked (fs, folder, item.getFileName(), format, Step::remove, hooks,
                             [] (ItemRun& run) { return run.uninstall(); });
}
