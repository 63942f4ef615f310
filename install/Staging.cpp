#include "Staging.h"
#include "Recovery.h"
#include "ZipDirectory.h"
#include <map>
#include <numeric>
#include <zlib.h>

using platform::EntryKind;
using platform::FileResult;
using platform::FileSystem;
using platform::Folder;
using Step = InstallFailure::Step;

namespace
{
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

    /** One staging of one format's archive into the working folder. */
    class Stager
    {
    public:
        Stager (FileSystem& f, const Folder& w, const juce::String& itemName, int format, const RunHooks& h)
            : fs (f), work (w), item (itemName), extension (itemExtensions[(size_t) format]),
              itemKind (isBundleFormat[(size_t) format] ? EntryKind::folder : EntryKind::file), hooks (h)
        {}

        std::optional<FormatOutcome> stage (const EmbeddedData& archive)
        {
            const auto records = ZipDirectory::read (archive.data, (size_t) std::max (0, archive.size));
            juce::MemoryInputStream source (archive.data, (size_t) std::max (0, archive.size), false);
            juce::ZipFile zip (source);

            if (records.empty() || (size_t) zip.getNumEntries() != records.size())
                return Outcome::damaged();

            total = std::accumulate (records.begin(), records.end(), uint64_t (0),
                                     [] (uint64_t sum, const ZipDirectory::Entry& e) { return sum + e.size; });
            report (Phase::writing);
            StagedFolders folders (fs, work);

            for (int i = 0; i < zip.getNumEntries(); ++i)
            {
                if (stopRequested())
                    return Outcome::stopped();

                const auto& record = records[(size_t) i];
                const auto name = zip.getEntry (i)->filename;
                const auto relative = name.replaceCharacter ('\\', '/');

                if (name != record.name || ! (relative == item || relative.startsWith (item + "/")))
                    return Outcome::damaged();

                // The copy is staged as "new"; below it, names are hidden.
                juce::StringArray path { WorkingItems::staged };
                for (const auto& part : juce::StringArray::fromTokens (relative.fromFirstOccurrenceOf (item, false, false), "/", {}))
                {
                    if (part.isEmpty())
                        continue;

                    if (! platform::isSingleName (part) || itemKind != EntryKind::folder)
                        return Outcome::damaged();

                    path.add (WorkingItems::hiddenName (part, extension));
                }

                const bool isFolder = relative.endsWithChar ('/');
                const auto fileName = isFolder ? juce::String() : path[path.size() - 1];
                if (! isFolder)
                    path.remove (path.size() - 1);

                const Folder* parent = &work;
                if (! path.isEmpty())
                    if (auto result = folders.open (path, parent); ! result.ok())
                        return Outcome::refusal (fs, Step::write, result);

                if (isFolder)
                    continue;

                std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
                if (in == nullptr)
                    return Outcome::damaged();

                if (auto problem = writeEntry (*in, *parent, fileName, record))
                    return problem;
            }

            report (Phase::checking);
            if (fs.kindOf (work, WorkingItems::staged) != itemKind)
                return Outcome::damaged();

            report (Phase::flushing);
            if (auto result = folders.flush(); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);

            return std::nullopt;
        }

        /** Writes one file entry, checking what lands on disk against the
            record, and flushes it before it is closed. */
        std::optional<FormatOutcome> writeEntry (juce::InputStream& in, const Folder& parent, const juce::String& name,
                                                 const ZipDirectory::Entry& record)
        {
            platform::OpenFile file;
            if (auto result = fs.createFile (parent, name, file); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);


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
                    return Outcome::refusal (fs, Step::write, result);

                written += (uint64_t) n;
                report (Phase::writing);

                if (stopRequested())
                    return Outcome::stopped();
            }

            if (size != record.size || (uint32_t) crc != record.crc)
                return Outcome::damaged();

            if (auto result = fs.flush (file); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);

            if (auto result = fs.close (file); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);

            return std::nullopt;
        }

    private:
        void report (Phase phase)
        {
            if (hooks.progress)
                hooks.progress ({ phase, written, total, {} });
        }

        bool stopRequested() const
        {
            return hooks.stopRequested && hooks.stopRequested();
        }

        FileSystem& fs;
        const Folder& work;
        const juce::String item, extension;
        const EntryKind itemKind;
        const RunHooks& hooks;
        uint64_t written = 0, total = 0;

        JUCE_DECLARE_NON_COPYABLE (Stager)
    };
}

std::optional<FormatOutcome> Staging::stage (FileSystem& fs, const Folder& work, const juce::String& itemName, int format,
                                             const EmbeddedData& archive, const RunHooks& hooks)
{
    return Stager (fs, work, itemName, format, hooks).stage (archive);
}
