#include "Installer.h"
#include <zlib.h>

namespace
{
    FormatOutcome failed (const juce::String& reason)   { return { true, false, reason }; }
    FormatOutcome done()                                 { return { true, true, {} }; }

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

    /** Writes one file entry, checking what lands on disk against the record. */
    juce::Result writeEntry (juce::InputStream& in, const juce::File& target, const RecordedEntry& record)
    {
        // Unbuffered: every chunk is written straight away, so each write
        // reports a full disk itself. flush() would also fsync each file, which
        // neither unzip nor the framework's own extraction does.
        juce::FileOutputStream out (target, 0);
        if (out.failedToOpen())
            return juce::Result::fail (InstallFailure::cannotWrite);

        std::vector<char> buffer (64 * 1024);
        uLong crc = crc32 (0, nullptr, 0);
        uint64_t written = 0;

        for (;;)
        {
            const auto n = in.read (buffer.data(), (int) buffer.size());
            if (n <= 0)
                break;

            crc = crc32 (crc, reinterpret_cast<const Bytef*> (buffer.data()), (uInt) n);
            written += (uint64_t) n;

            if (! out.write (buffer.data(), (size_t) n))
                return juce::Result::fail (InstallFailure::cannotWrite);
        }

        if (out.getStatus().failed())
            return juce::Result::fail (InstallFailure::cannotWrite);

        if (written != record.size || (uint32_t) crc != record.crc)
            return juce::Result::fail (InstallFailure::damagedArchive);

        return juce::Result::ok();
    }

    /** Extracts every entry of the archive into the staging folder. Each entry
        must lie inside the plug-in item, so that nothing but the item is ever
        moved into the install folder. */
    juce::Result extractAll (const EmbeddedData& archive, const juce::File& staging, const juce::String& itemName)
    {
        const auto records = recordedEntries (archive);
        juce::MemoryInputStream source (archive.data, (size_t) std::max (0, archive.size), false);
        juce::ZipFile zip (source);

        if (records.empty() || (size_t) zip.getNumEntries() != records.size())
            return juce::Result::fail (InstallFailure::damagedArchive);

        for (int i = 0; i < zip.getNumEntries(); ++i)
        {
            const auto& record = records[(size_t) i];
            const auto name = zip.getEntry (i)->filename;
            const auto relative = name.replaceCharacter ('\\', '/');

            if (name != record.name || ! (relative == itemName || relative.startsWith (itemName + "/")))
                return juce::Result::fail (InstallFailure::damagedArchive);

            const auto target = staging.getChildFile (relative);
            if (! target.isAChildOf (staging))
                return juce::Result::fail (InstallFailure::damagedArchive);

            if (relative.endsWithChar ('/'))
            {
                if (! target.createDirectory())
                    return juce::Result::fail (InstallFailure::cannotWrite);

                continue;
            }

            if (! target.getParentDirectory().createDirectory())
                return juce::Result::fail (InstallFailure::cannotWrite);

            std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
            if (in == nullptr)
                return juce::Result::fail (InstallFailure::damagedArchive);

            if (auto result = writeEntry (*in, target, record); result.failed())
                return result;
        }

        return juce::Result::ok();
    }

    /** Prepares the install folder: it must be a folder, created when missing. */
    std::optional<FormatOutcome> prepareFolder (const juce::File& installFolder)
    {
        if (installFolder.existsAsFile())
            return failed (InstallFailure::folderIsFile);

        if (! installFolder.isDirectory())
            installFolder.createDirectory();

        if (! installFolder.isDirectory())
            return failed (InstallFailure::cannotCreate);

        return std::nullopt;
    }

    juce::File besideItem (const juce::File& installFolder, const juce::String& itemName, const char* purpose)
    {
        return installFolder.getNonexistentChildFile ("." + itemName + "." + purpose, {}, false);
    }
}

FormatOutcome installFormat (const juce::File& installFolder, const juce::String& productName,
                             int format, const EmbeddedData& archive)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return failed (InstallFailure::noFolder);

    if (auto problem = prepareFolder (installFolder))
        return *problem;

    const auto itemName = item.getFileName();
    const auto staging = besideItem (installFolder, itemName, "staging");

    if (! staging.createDirectory())
        return failed (InstallFailure::cannotWrite);

    const auto abandon = [&staging] (const juce::String& reason)
    {
        staging.deleteRecursively();
        return failed (reason);
    };

    if (auto result = extractAll (archive, staging, itemName); result.failed())
        return abandon (result.getErrorMessage());

    const auto staged = staging.getChildFile (itemName);
    if (! staged.exists())
        return abandon (InstallFailure::damagedArchive);

    if (! item.exists() && item.isSymbolicLink())
        item.deleteFile();   // a link to nothing holds nothing to keep

    if (item.exists())
    {
        const auto previous = besideItem (installFolder, itemName, "previous");

        if (! item.moveFileTo (previous))
            return abandon (InstallFailure::inUse);

        if (! staged.moveFileTo (item))
        {
            previous.moveFileTo (item);
            return abandon (InstallFailure::inUse);
        }

        // The new copy is in place; a leftover of the old one is only clutter.
        previous.deleteRecursively();
    }
    else if (! staged.moveFileTo (item))
    {
        return abandon (InstallFailure::cannotWrite);
    }

    staging.deleteRecursively();
    return done();
}

FormatOutcome uninstallFormat (const juce::File& installFolder, const juce::String& productName, int format)
{
    const auto item = pluginItemFor (installFolder, productName, format);
    if (item == juce::File())
        return failed (InstallFailure::noFolder);

    if (! item.exists() && ! item.isSymbolicLink())
        return done();

    // Moving the item aside first means a file held open elsewhere stops the
    // removal before anything is gone, rather than halfway through a bundle.
    const auto removed = besideItem (installFolder, item.getFileName(), "removed");

    if (! item.moveFileTo (removed))
        return failed (InstallFailure::cannotRemove);

    if (! removed.deleteRecursively())
    {
        removed.moveFileTo (item);
        return failed (InstallFailure::cannotRemove);
    }

    return item.exists() ? failed (InstallFailure::cannotRemove) : done();
}
