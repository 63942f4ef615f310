#include "TestEnvironment.h"
#include "../install/SegmentInflater.h"
#include <zlib.h>

namespace
{
    /** Bytes deflated in segments as the program's archives are: each but
        the last ends in a full flush, so that each inflates alone. */
    struct Segmented
    {
        std::string plain, packed;
        std::vector<std::pair<size_t, size_t>> ends;   // packed, plain

        std::vector<SegmentInflater::Segment> segments() const
        {
            std::vector<SegmentInflater::Segment> list;
            size_t packedAt = 0, plainAt = 0;

            for (size_t i = 0; i < ends.size(); ++i)
            {
                const auto [packedEnd, plainEnd] = ends[i];
                list.push_back ({ reinterpret_cast<const uint8_t*> (packed.data()) + packedAt, packedEnd - packedAt,
                                  i + 1 == ends.size(), plainEnd - plainAt });
                packedAt = packedEnd;
                plainAt = plainEnd;
            }

            return list;
        }
    };

    Segmented segmented (size_t count, size_t segmentSize)
    {
        Segmented s;
        juce::Random random (7);
        for (size_t i = 0; i < count * segmentSize; ++i)
            s.plain.push_back ((char) ('a' + random.nextInt (6)));

        z_stream stream {};
        deflateInit2 (&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::vector<char> out (deflateBound (&stream, (uLong) s.plain.size()) + count * 16);
        stream.next_out = reinterpret_cast<Bytef*> (out.data());
        stream.avail_out = (uInt) out.size();

        for (size_t i = 0; i < count; ++i)
        {
            stream.next_in = reinterpret_cast<Bytef*> (s.plain.data() + i * segmentSize);
            stream.avail_in = (uInt) segmentSize;
            deflate (&stream, i + 1 == count ? Z_FINISH : Z_FULL_FLUSH);
            s.ends.emplace_back (stream.total_out, (i + 1) * segmentSize);
        }

        deflateEnd (&stream);
        s.packed.assign (out.data(), stream.total_out);
        return s;
    }
}

TEST (SegmentInflater, HandsBackEverySegmentInOrderAndStopsAtADamagedOne)
{
    // A budget too small for a second buffer makes the caller's thread
    // inflate alone; a large one lets other threads inflate ahead.
    const auto intact = segmented (9, 64 * 1024);
    const struct { const char* name; size_t budget; } budgets[] = { { "caller's thread alone", 1 }, { "other threads ahead", 64 << 20 } };

    struct Case
    {
        const char* name;
        std::function<void (Segmented&)> change;
        size_t firstBad;    // segments before it inflate; it does not
    };

    const Case cases[] = {
        { "intact", [] (Segmented&) {}, 9 },
        { "a byte of the sixth segment changed", [] (Segmented& s) { s.packed[s.ends[4].first + 40] ^= 0x10; }, 5 },
        { "the fourth said to hold a byte more", [] (Segmented& s) { ++s.ends[3].second; }, 3 },
        { "the last said to hold a byte fewer", [] (Segmented& s) { --s.ends[8].second; }, 8 },
    };

    for (const auto& budget : budgets)
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE (std::string (budget.name) + ", " + c.name);
            auto s = intact;
            c.change (s);
            const auto segments = s.segments();

            SegmentInflater inflater (segments, budget.budget);
            if (budget.budget == 1)
            {
                EXPECT_EQ (inflater.threads(), 1u);
            }
            else if (std::thread::hardware_concurrency() > 1)
            {
                EXPECT_GT (inflater.threads(), 1u);
            }

            for (size_t i = 0; i < c.firstBad; ++i)
            {
                const auto inflated = inflater.next();
                const auto* expected = intact.plain.data() + i * 64 * 1024;
                ASSERT_NE (inflated.bytes, nullptr) << "segment " << i;
                EXPECT_EQ (std::memcmp (inflated.bytes, expected, segments[i].size), 0) << "segment " << i;
                EXPECT_EQ (inflated.crc, crc32 (0, reinterpret_cast<const Bytef*> (expected), (uInt) segments[i].size)) << "segment " << i;
            }

            EXPECT_EQ (inflater.next().bytes, nullptr);
        }
    }
}

TEST (SegmentInflater, LetsGoOfItsThreadsWhenTheWriterStopsEarly)
{
    // A stop or a refused write ends the entry with segments still being
    // inflated; the threads finish theirs and go.
    const auto s = segmented (12, 64 * 1024);
    for (int taken = 0; taken < 3; ++taken)
    {
        SegmentInflater inflater (s.segments(), 64 << 20);
        for (int i = 0; i < taken; ++i)
            ASSERT_NE (inflater.next().bytes, nullptr);
    }
}
