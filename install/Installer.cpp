#include "Installer.h"
#include "FileTree.h"
#include "Recovery.h"
#include "../platform/FolderLock.h"
#include <zlib.h>

using platform::EntryKind;
using platform::FileError;
using platform::FileResult;
using platform::FileSystem;
using Step = InstallFailure::Step;

juce::String InstallFailure::reasonFor (Step step, FileError error)
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
        return juce::String ("could not ") + action + ", a file is in use";

    return juce::String ("could not ") + action;
}

namespace
{
    /** How long an install waits for another copy of the program that is
        working in the same folder; installing four formats takes under a second. */
    constexpr int lockWaitMilliseconds = 5000;

    FormatOutcome done()                                           { return { true, true, {}, {} }; }
    FormatOutcome failed (const juce::String& reason, const juce::String& detail = {})
    {
        return { true, false, reason, detail };
    }
    FormatOutcome failed (Step step, const FileResult& result)
    {
        return failed (InstallFailure::reasonFor (step, result.error), result.path + ": " + result.message);
    }

    struct RecordedEntry
    {
        juce::String name;
        uint32_t crc = 0;
        uint64_t size = 0;
    };

    /** The names, checksums and sizes the archive's central directory records,
        in stored order; empty when the directory cannot be read. The reader we
        extract with does not check them itself. */
    std::vector<RecordedEntry> recordedEntries (const EmbeddedData& archive)
    {
        const auto* bytes = reinterpret_cast<const uint8_t*> (archive.data);
        const auto size = (size_t) std::max (0, archive.size);
        const auto u16 = [bytes] (size_t at) { return (uint32_t) (bytes[at] | (bytes[at + 1] << 8)); };
        const auto u32 = [bytes, u16] (size_t at) { return u16 (at) | (u16 (at + 2) << 16); };

        if (size < 22)
            return {};

        // The end record sits in the last 22 bytes plus at most a 64 KB comment.
        size_t end = size - 22;
        const size_t lowest = size - 22 > 0xFFFF ? size - 22 - 0xFFFF : 0;
        while (u32 (end) != 0x06054b50)
        {
            if (end == lowest)
                return {};
            --end;
        }

        const auto count = u16 (end + 10);
        size_t at = u32 (end + 16);
        std::vector<RecordedEntry> entries;

        for (uint32_t i = 0; i < count; ++i)
        {
            if (at + 46 > end || u32 (at) != 0x02014b50)
                return {};

            const auto nameLength = u16 (at + 28), extra = u16 (at + 30), comment = u16 (at + 32);
            if (at + 46 + nameLength > end)
                return {};

            entries.push_back ({ juce::String::fromUTF8 (archive.data + at + 46, (int) nameLength),
                                 u32 (at + 16), u32 (at + 24) });
            at += 46 + nameLength + extra + comment;
        }

        return entries;
    }

    /** One install or uninstall of one format's item, with the folder locked. */
    class ItemRun
    {
    public:
        ItemRun (FileSystem& f, const juce::File& i, int format)
            : fs (f), item (i), folder (i.getParentDirectory()), work (WorkingItems::folderFor (i)),
              staged (work.getChildFile (WorkingItems::staged)), previous (work.getChildFile (WorkingItems::previous)),
              extension (itemExtensions[(size_t) format])
        {}

        FormatOutcome install (const EmbeddedData& archive)
        {
            if (auto problem = stage (archive))
                return abandon (*problem);

            const bool replacing = fs.kindOf (item) != EntryKind::missing;

            if (replacing)
            {
                juce::Array<juce::File> changed;

                if (auto result = WorkingItems::hideNames (fs, item, extension, changed); ! result.ok())
                    return abandon (failed (Step::replace, result));

                if (auto result = retried ([&] { return fs.move (item, previous); }); ! result.ok())
                    return abandon (failed (Step::replace, result));
            }

            if (auto result = retried ([&] { return fs.move (staged, item); }); ! result.ok())
                return rollBack (failed (Step::replace, result));

            juce::Array<juce::File> changed { folder };

            if (auto result = WorkingItems::revealNames (fs, item, extension, changed); ! result.ok())
                return rollBack (failed (Step::replace, result));

            if (auto result = FileTree::flushFolders (fs, changed); ! result.ok())
                return rollBack (failed (Step::replace, result));

            // The new item is whole and on the disk. What is left is clutter:
            // a copy that cannot go now (a host may hold the old one) is hidden,
            // and the next run removes it.
            if (replacing)
                std::ignore = retried ([&] { return fs.move (previous, work.getChildFile (WorkingItems::discarded)); });

            std::ignore = FileTree::removeTree (fs, work, retry);
            return done();
        }

        FormatOutcome uninstall()
        {
            if (fs.kindOf (item) == EntryKind::missing)
                return done();

            // The working folder must be on the disk before the item's names
            // are hidden, or a stop there could leave them hidden for good.
            if (auto result = createWorkingFolder(); ! result.ok())
                return abandon (failed (Step::remove, result));

            juce::Array<juce::File> changed;
            const auto discarded = work.getChildFile (WorkingItems::discarded);

            if (auto result = WorkingItems::hideNames (fs, item, extension, changed); ! result.ok())
                return abandon (failed (Step::remove, result));

            if (auto result = retried ([&] { return fs.move (item, discarded); }); ! result.ok())
                return abandon (failed (Step::remove, result));

            if (auto result = fs.flushFolder (folder); ! result.ok())
            {
                if (retried ([&] { return fs.move (discarded, item); }).ok())
                    return abandon (failed (Step::remove, result));

                return failed (Step::remove, result);     // the next run's recovery clears up
            }

            // The item is gone; a file a host still holds keeps its hidden
            // copy until the next run removes it.
            std::ignore = FileTree::removeTree (fs, work, retry);
            return done();
        }

    private:
        /** Makes the working folder and flushes its name. */
        FileResult createWorkingFolder()
        {
            if (auto result = fs.createFolder (work); ! result.ok())
                return result;

            return fs.flushFolder (folder);
        }

        /** Extracts the whole archive into the working folder with its names
            hidden, checks every file, and flushes files and folders. Each entry
            must lie inside the plug-in item, so that nothing but the item is
            ever moved into the install folder. */
        std::optional<FormatOutcome> stage (const EmbeddedData& archive)
        {
            const auto records = recordedEntries (archive);
            juce::MemoryInputStream source (archive.data, (size_t) std::max (0, archive.size), false);
            juce::ZipFile zip (source);

            if (records.empty() || (size_t) zip.getNumEntries() != records.size())
                return failed (InstallFailure::damagedArchive);

            if (auto result = createWorkingFolder(); ! result.ok())
                return failed (Step::write, result);

            const auto itemName = item.getFileName();
            juce::Array<juce::File> folders { work };

            for (int i = 0; i < zip.getNumEntries(); ++i)
            {
                const auto& record = records[(size_t) i];
                const auto name = zip.getEntry (i)->filename;
                const auto relative = name.replaceCharacter ('\\', '/');

                if (name != record.name || ! (relative == itemName || relative.startsWith (itemName + "/")))
                    return failed (InstallFailure::damagedArchive);

                auto target = staged;
                for (const auto& part : juce::StringArray::fromTokens (relative.fromFirstOccurrenceOf (itemName, false, false), "/", {}))
                {
                    if (part.isEmpty())
                        continue;

                    if (part == "." || part == "..")
                        return failed (InstallFailure::damagedArchive);

                    target = target.getChildFile (WorkingItems::hiddenName (part, extension));
                }

                const bool isFolder = relative.endsWithChar ('/');

                if (auto result = createFolders (isFolder ? target : target.getParentDirectory(), folders); ! result.ok())
                    return failed (Step::write, result);

                if (isFolder)
                    continue;

                std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
                if (in == nullptr)
                    return failed (InstallFailure::damagedArchive);

                if (auto problem = writeEntry (*in, target, record))
                    return problem;
            }

            if (fs.kindOf (staged) == EntryKind::missing)
                return failed (InstallFailure::damagedArchive);

            // Deepest first, so every folder's own name is flushed after what it
            // holds; the working folder's own name already is.
            std::sort (folders.begin(), folders.end(), [] (const juce::File& a, const juce::File& b)
                       { return a.getFullPathName().length() > b.getFullPathName().length(); });

            if (auto result = FileTree::flushFolders (fs, folders); ! result.ok())
                return failed (Step::write, result);

            return std::nullopt;
        }

        /** Creates a folder below the working folder and its missing parents. */
        FileResult createFolders (const juce::File& target, juce::Array<juce::File>& created)
        {
            if (target == work || created.contains (target))
                return {};

            if (auto result = createFolders (target.getParentDirectory(), created); ! result.ok())
                return result;

            if (auto result = fs.createFolder (target); ! result.ok())
                return result;

            created.add (target);
            return {};
        }

        /** Writes one file entry, checking what lands on disk against the
            record, and flushes it before it is closed. */
        std::optional<FormatOutcome> writeEntry (juce::InputStream& in, const juce::File& target, const RecordedEntry& record)
        {
            platform::OpenFile file;
            if (auto result = fs.createFile (target, file); ! result.ok())
                return failed (Step::write, result);

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
                    return failed (Step::write, result);
            }

            if (size != record.size || (uint32_t) crc != record.crc)
                return failed (InstallFailure::damagedArchive);

            if (auto result = fs.flush (file); ! result.ok())
                return failed (Step::write, result);

            if (auto result = fs.close (file); ! result.ok())
                return failed (Step::write, result);

            return std::nullopt;
        }

        /** Gives up before anything was moved in: the item is put back to how
            it was (its names revealed) and the working folder removed. When the
            names cannot be revealed, the working folder stays, so that the next
            run's recovery finishes the job. */
        FormatOutcome abandon (const FormatOutcome& outcome)
        {
            juce::Array<juce::File> changed;

            if (WorkingItems::revealNames (fs, item, extension, changed).ok() && FileTree::flushFolders (fs, changed).ok())
                std::ignore = FileTree::removeTree (fs, work, retry);

            return outcome;
        }

        /** Takes a new copy back out of the item's place and returns the old
            one. Neither copy is ever deleted while the other is not in place:
            whatever cannot be moved stays in the working folder, where the next
            run's recovery restores the old copy. */
        FormatOutcome rollBack (const FormatOutcome& outcome)
        {
            if (fs.kindOf (item) != EntryKind::missing)
            {
                juce::Array<juce::File> changed;
                std::ignore = WorkingItems::hideNames (fs, item, extension, changed);

                if (! retried ([&] { return fs.move (item, work.getChildFile (WorkingItems::failed)); }).ok())
                    return outcome;
            }

            if (fs.kindOf (previous) != EntryKind::missing)
            {
                if (! retried ([&] { return fs.move (previous, item); }).ok())
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
        const juce::File item, folder, work, staged, previous;
        const juce::String extension;
        const FileTree::RetryPolicy retry;
    };

    /** The install folder must be a folder; missing folders are created,
        parents first. */
    std::optional<FormatOutcome> prepareFolder (FileSystem& fs, const juce::File& installFolder)
    {
        if (installFolder.isDirectory())
            return std::nullopt;

        if (installFolder.existsAsFile())
            return failed (InstallFailure::folderIsFile);

        juce::Array<juce::File> missing;
        for (auto f = installFolder; ! f.isDirectory() && f != f.getParentDirectory(); f = f.getParentDirectory())
            missing.insert (0, f);

        for (const auto& f : missing)
            if (auto result = fs.createFolder (f); ! result.ok() && result.error != FileError::alreadyExists)
                return failed (Step::createFolder, result);

        if (! installFolder.isDirectory())
            return failed (InstallFailure::folderIsFile);

        return std::nullopt;
    }

    /** Runs one item's work with the folder locked, after recovering what an
        earlier run left there. */
    template <typename Work>
    FormatOutcome withFolderLocked (FileSystem& fs, const juce::File& item, int format, Step step, Work&& work)
    {
        platform::FolderLock lock (item.getParentDirectory());
        if (! lock.enter (lockWaitMilliseconds))
            return failed (InstallFailure::busy);

        if (auto result = recoverInterruptedWork (fs, item, format, {}); ! result.ok())
            return failed (step, result);

        ItemRun run (fs, item, format);
        return work (run);
    }
}

FormatOutcome installFormat (const juce::File& installFolder, const juce::String& productName,
                             int format, const EmbeddedData& archive, FileSystem& fs)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return failed (InstallFailure::noFolder);

    if (auto problem = prepareFolder (fs, installFolder))
        return *problem;

    return withFolderLocked (fs, item, format, Step::replace, [&] (ItemRun& run) { return run.install (archive); });
}

FormatOutcome uninstallFormat (const juce::File& installFolder, const juce::String& productName, int format,
                               FileSystem& fs)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return failed (InstallFailure::noFolder);

    if (! installFolder.isDirectory())
        return done();

    return withFolderLocked (fs, item, format, Step::remove, [] (ItemRun& run) { return run.uninstall(); });
}
