#include "SegmentInflater.h"
#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <system_error>

namespace
{
    /** Buffers kept for the next entry. Made anew, each of their pages
        faults in again when first written, and on a virtual machine that
        was a sixth of an install. What is kept is never more than one entry
        has used: a request none fits frees them all first. */
    class SparedBuffers
    {
    public:
        SegmentInflater::Buffer take (size_t size)
        {
            {
                const std::lock_guard<std::mutex> held (lock);
                // The smallest that fits, so that a larger one stays for a larger need.
                auto fits = spare.end();
                for (auto b = spare.begin(); b != spare.end(); ++b)
                    if (b->size >= size && (fits == spare.end() || b->size < fits->size))
                        fits = b;

                if (fits != spare.end())
                {
                    auto buffer = std::move (*fits);
                    spare.erase (fits);
                    return buffer;
                }

                spare.clear();
            }

            return { std::unique_ptr<uint8_t[]> (new uint8_t[size]), size };
        }

        void give (SegmentInflater::Buffer buffer)
        {
            if (buffer.bytes == nullptr)
                return;

            const std::lock_guard<std::mutex> held (lock);
            spare.push_back (std::move (buffer));
        }

    private:
        std::mutex lock;
        std::vector<SegmentInflater::Buffer> spare;
    };

    SparedBuffers& spared()
    {
        static SparedBuffers buffers;
        return buffers;
    }
}

/** What one thread inflates with: its own decompressor, and room for a
    segment's packed bytes with the empty final block added. */
struct SegmentInflater::Inflater
{
    ~Inflater() { spared().give (std::move (packed)); }

    std::unique_ptr<libdeflate_decompressor, void (*) (libdeflate_decompressor*)> decompressor
        { libdeflate_alloc_decompressor(), libdeflate_free_decompressor };
    Buffer packed;
};

/** A buffer one segment at a time is inflated into, written from, then
    freed for the segment as many slots later. */
struct SegmentInflater::Slot
{
    enum class State { free, inflating, ready };

    ~Slot() { spared().give (std::move (buffer)); }

    Buffer buffer;
    State state = State::free;
    Inflated inflated;
};

SegmentInflater::SegmentInflater (std::vector<Segment> all, size_t budget)
    : segments (std::move (all))
{
    size_t largest = 1, largestPacked = 0;
    for (const auto& segment : segments)
    {
        largest = std::max (largest, segment.size);
        largestPacked = std::max (largestPacked, segment.packedSize);
    }

    // Each thread inflates into a slot of its own while the writer holds
    // one and one more waits ready for it.
    const auto cost = [&] (size_t threads) { return (threads + 2) * largest + threads * (largestPacked + 2); };
    const auto cores = (size_t) std::thread::hardware_concurrency();
    auto wanted = cores > 1 && segments.size() > 1 ? std::min ({ cores, maxThreads, segments.size() }) : 0;
    while (wanted > 0 && cost (wanted) > budget)
        --wanted;

    const auto make = [&] (size_t threads)
    {
        try
        {
            inflaters.clear();
            slots.clear();

            for (size_t i = 0; i < std::max<size_t> (threads, 1); ++i)
            {
                auto inflater = std::make_unique<Inflater>();
                if (inflater->decompressor == nullptr)
                    return false;

                inflater->packed = spared().take (largestPacked + 2);
                inflaters.push_back (std::move (inflater));
            }

            for (size_t i = 0; i < (threads > 0 ? threads + 2 : 1); ++i)
            {
                slots.push_back (std::make_unique<Slot>());
                slots.back()->buffer = spared().take (largest);
            }

            return true;
        }
        catch (const std::bad_alloc&)
        {
            inflaters.clear();
            slots.clear();
            return false;
        }
    };

    if (! make (wanted) && ! (wanted > 0 && make (0)))
        throw std::bad_alloc();

    if (wanted == 0)
        return;

    for (auto& inflater : inflaters)
    {
        try
        {
            workers.emplace_back ([this, &inflater] { work (*inflater); });
        }
        catch (const std::system_error&)
        {
            break;      // the threads started share the work; none: the caller inflates
        }
    }
}

SegmentInflater::~SegmentInflater()
{
    {
        const std::lock_guard<std::mutex> held (lock);
        stopping = true;
    }

    changed.notify_all();

    for (auto& worker : workers)
        worker.join();
}

SegmentInflater::Inflated SegmentInflater::next()
{
    std::unique_lock<std::mutex> held (lock);

    if (handed > 0)
    {
        slots[(handed - 1) % slots.size()]->state = Slot::State::free;
        changed.notify_all();
    }

    if (handed == segments.size())
        return {};

    auto& slot = *slots[handed % slots.size()];

    if (workers.empty())
    {
        slot.inflated = inflate (*inflaters.front(), segments[handed], slot.buffer.bytes.get());
    }
    else
    {
        changed.wait (held, [&] { return slot.state == Slot::State::ready; });
    }

    ++handed;
    return slot.inflated;
}

void SegmentInflater::work (Inflater& inflater)
{
    std::unique_lock<std::mutex> held (lock);

    for (;;)
    {
        // A segment's slot is free once the one as many segments before it
        // has been written.
        changed.wait (held, [&]
        {
            return stopping || claimed == segments.size() || slots[claimed % slots.size()]->state == Slot::State::free;
        });

        if (stopping || claimed == segments.size())
            return;

        const auto index = claimed++;
        auto& slot = *slots[index % slots.size()];
        slot.state = Slot::State::inflating;

        held.unlock();
        const auto inflated = inflate (inflater, segments[index], slot.buffer.bytes.get());
        held.lock();

        slot.inflated = inflated;
        slot.state = Slot::State::ready;
        changed.notify_all();
    }
}

SegmentInflater::Inflated SegmentInflater::inflate (Inflater& inflater, const Segment& segment, uint8_t* out)
{
    const uint8_t* packed = segment.packed;
    size_t packedSize = segment.packedSize;

    // A segment before the last ends in a full flush; an empty final block
    // after it makes it a whole stream of its own.
    if (! segment.last)
    {
        std::memcpy (inflater.packed.bytes.get(), packed, packedSize);
        inflater.packed.bytes[packedSize] = 0x03;
        inflater.packed.bytes[packedSize + 1] = 0x00;
        packed = inflater.packed.bytes.get();
        packedSize += 2;
    }

    size_t produced = 0;
    if (libdeflate_deflate_decompress (inflater.decompressor.get(), packed, packedSize, out, segment.size, &produced)
            != LIBDEFLATE_SUCCESS
         || produced != segment.size)
        return {};

    return { out, libdeflate_crc32 (0, out, segment.size) };
}
