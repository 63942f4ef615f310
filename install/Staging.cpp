#include "Staging.h"
#include "Recovery.h"
#include "SegmentInflater.h"
#include "ZipDirectory.h"
#include <libdeflate.h>
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
            const auto size = (size_t) std::max (0, archive.size);
            const auto records = ZipDirectory::read (archive.data, size);

            if (records.empty())
                return Outcome::damaged();

            total = std::accumulate (records.begin(), records.end(), uint64_t (0),
                                     [] (uint64_t sum, const ZipDirectory::Entry& e) { return sum + e.size; });
            report (Phase::writing);
            StagedFolders folders (fs, work);

            for (const auto& record : records)
            {
                if (stopRequested())
                    return Outcome::stopped();

                const auto relative = record.name.replaceCharacter ('\\', '/');

                if (! (relative == item || relative.startsWith (item + "/")))
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

                const auto* packed = ZipDirectory::packedBytesOf (archive.data, size, record);
                if (packed == nullptr || (record.flags & 1) != 0)
                    return Outcome::damaged();

                if (auto problem = writeEntry (packed, record, *parent, fileName))
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

        /** Writes one file entry in the fastest way its archive allows,
            checked against its record by size and CRC-32, and flushes it
            before it is closed. */
        std::optional<FormatOutcome> writeEntry (const uint8_t* packed, const ZipDirectory::Entry& record,
                                                 const Folder& parent, const juce::String& name)
        {
            platform::OpenFile file;
            if (auto result = fs.createFile (parent, name, file); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);

            if (auto problem = record.method != ZipDirectory::deflated ? writeWhole (packed, record, file)
                               : ! record.segments.empty()       ? writeSegments (packed, record, file)
                               : canHoldWhole (record)           ? writeWhole (packed, record, file)
                                                                 : inflateInChunks (packed, record, file))
                return problem;

            if (auto result = fs.flush (file); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);

            if (auto result = fs.close (file); ! result.ok())
                return Outcome::refusal (fs, Step::write, result);

            return std::nullopt;
        }

        /** A stored entry as it lies in the archive, or a deflated one
            inflated whole in one call into a buffer the size of the largest
            entry yet (canHoldWhole has made it): the fastest inflate there
            is, in memory bounded by the limit above which entries go in chunks. */
        std::optional<FormatOutcome> writeWhole (const uint8_t* packed, const ZipDirectory::Entry& record, platform::OpenFile& file)
        {
            const uint8_t* bytes = packed;

            if (record.method == ZipDirectory::deflated)
            {
                size_t produced = 0;
                if (libdeflate_deflate_decompress (inflater.get(), packed, (size_t) record.packedSize, inflated.data(),
                                                   (size_t) record.size, &produced) != LIBDEFLATE_SUCCESS
                     || produced != record.size)
                    return Outcome::damaged();

                bytes = inflated.data();
            }
            else if (record.method != ZipDirectory::stored || record.packedSize != record.size)
            {
                return Outcome::damaged();
            }

            if (libdeflate_crc32 (0, bytes, (size_t) record.size) != record.crc)
                return Outcome::damaged();

            return writeSlices (bytes, record.size, file);
        }

        /** An entry of the program's own archives, whose deflate stream is
            made of segments that each inflate alone: they are inflated on
            other cores ahead of this thread, which checks and writes them in
            order while the disk takes the ones before. Checked once all is
            written (the staged copy of a damaged archive never goes live). */
        std::optional<FormatOutcome> writeSegments (const uint8_t* packed, const ZipDirectory::Entry& record, platform::OpenFile& file)
        {
            std::vector<SegmentInflater::Segment> segments;
            uint64_t packedAt = 0, unpackedAt = 0;

            for (size_t i = 0; i < record.segments.size(); ++i)
            {
                const auto end = record.segments[i];
                const bool last = i + 1 == record.segments.size();

                if (end.packed <= packedAt || end.packed > record.packedSize || end.unpacked < unpackedAt
                     || end.unpacked - unpackedAt > Staging::wholeEntryLimit
                     || (last && (end.packed != record.packedSize || end.unpacked != record.size)))
                    return Outcome::damaged();

                segments.push_back ({ packed + packedAt, (size_t) (end.packed - packedAt), last, (size_t) (end.unpacked - unpackedAt) });
                packedAt = end.packed;
                unpackedAt = end.unpacked;
            }

            std::optional<SegmentInflater> inflating;
            try
            {
                inflating.emplace (segments, (size_t) std::min (record.size, Staging::wholeEntryLimit));
            }
            catch (const std::bad_alloc&)
            {
                return inflateInChunks (packed, record, file);
            }

            uint32_t crc = 0;
            for (const auto& segment : segments)
            {
                const auto piece = inflating->next();
                if (piece.bytes == nullptr)
                    return Outcome::damaged();

                crc = (uint32_t) crc32_combine (crc, piece.crc, (z_off_t) segment.size);

                if (auto problem = writeSlices (piece.bytes, segment.size, file))
                    return problem;
            }

            if (crc != record.crc)
                return Outcome::damaged();

            return std::nullopt;
        }

        /** Writes in slices, so that progress moves and a stop is heard
            within a large file. */
        std::optional<FormatOutcome> writeSlices (const uint8_t* bytes, uint64_t size, platform::OpenFile& file)
        {
            for (uint64_t at = 0; at < size; at += writeSlice)
            {
                const auto n = (size_t) std::min<uint64_t> (writeSlice, size - at);
                if (auto result = fs.write (file, bytes + at, n); ! result.ok())
                    return Outcome::refusal (fs, Step::write, result);

                if (auto stop = wrote (n))
                    return stop;
            }

            return std::nullopt;
        }

        /** A deflated entry too large to hold whole, inflated and written a
            slice at a time; checked once all is written (the staged copy of a
            damaged archive never goes live). */
        std::optional<FormatOutcome> inflateInChunks (const uint8_t* packed, const ZipDirectory::Entry& record, platform::OpenFile& file)
        {
            z_stream stream {};
            if (inflateInit2 (&stream, -MAX_WBITS) != Z_OK)
                return Outcome::damaged();

            const std::unique_ptr<z_stream, int (*) (z_stream*)> ending (&stream, inflateEnd);
            std::vector<uint8_t> slice (writeSlice);
            uint32_t crc = 0;
            uint64_t size = 0, fed = 0;
            int status = Z_OK;

            while (status != Z_STREAM_END)
            {
                if (stream.avail_in == 0 && fed < record.packedSize)
                {
                    stream.next_in = const_cast<Bytef*> (packed + fed);
                    stream.avail_in = (uInt) std::min<uint64_t> (record.packedSize - fed, 1u << 30);
                    fed += stream.avail_in;
                }

                stream.next_out = slice.data();
                stream.avail_out = (uInt) slice.size();
                status = inflate (&stream, Z_NO_FLUSH);

                if (status != Z_OK && status != Z_STREAM_END)
                    return Outcome::damaged();

                // Packed bytes that end before the stream does stop it with
                // Z_BUF_ERROR above.
                const auto n = slice.size() - stream.avail_out;
                size += n;
                if (size > record.size)
                    return Outcome::damaged();

                crc = libdeflate_crc32 (crc, slice.data(), n);
                if (auto result = fs.write (file, slice.data(), n); ! result.ok())
                    return Outcome::refusal (fs, Step::write, result);

                if (auto stop = wrote (n))
                    return stop;
            }

            if (size != record.size || crc != record.crc)
                return Outcome::damaged();

            return std::nullopt;
        }

        /** Counts bytes written, tells the hooks, and says when to stop. */
        std::optional<FormatOutcome> wrote (size_t n)
        {
            written += (uint64_t) n;
            report (Phase::writing);

            if (stopRequested())
                return Outcome::stopped();

            return std::nullopt;
        }

        /** Whether the entry can be inflated whole: it is within the limit,
            and the memory for it and the inflater can be had (else it goes
            through zlib). */
        bool canHoldWhole (const ZipDirectory::Entry& record)
        {
            if (record.size > Staging::wholeEntryLimit)
                return false;

            if (inflater == nullptr)
                inflater.reset (libdeflate_alloc_decompressor());

            try
            {
                if (inflated.size() < std::max<uint64_t> (record.size, 1))
                    inflated.resize ((size_t) std::max<uint64_t> (record.size, 1));
            }
            catch (const std::bad_alloc&)
            {
                inflated = {};
                return false;
            }

            return inflater != nullptr;
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

        static constexpr size_t writeSlice = 4 * 1024 * 1024;
        std::vector<uint8_t> inflated;
        std::unique_ptr<libdeflate_decompressor, void (*) (libdeflate_decompressor*)> inflater { nullptr, libdeflate_free_decompressor };

        JUCE_DECLARE_NON_COPYABLE (Stager)
    };
}

std::optional<FormatOutcome> Staging::stage (FileSystem& fs, const Folder& work, const juce::String& itemName, int format,
                                             const EmbeddedData& archive, const RunHooks& hooks)
{
    return Stager (fs, work, itemName, format, hooks).stage (archive);
}
