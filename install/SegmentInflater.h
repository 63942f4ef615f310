#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_decompressor;

/** Inflates the segments of one entry of the program's own archives (each a
    deflate stream of its own) on other cores, ahead of the thread that
    writes them, and hands them back in order. Inflate is most of an
    install's time, and a segment never waits for the one before it.

    Memory is fixed when it is made: a few buffers the size of the largest
    segment, reused in turn, no more than `budget` bytes in all; fewer
    threads are used where more would not fit. With no other thread to be
    had (one core, a budget for one segment only, threads or memory
    refused), each segment is inflated on the caller's thread as it is
    asked for, in one segment's buffers. */
class SegmentInflater
{
public:
    /** One segment: where its packed bytes lie, whether the stream ends in
        it, and the size it inflates to. */
    struct Segment
    {
        const uint8_t* packed = nullptr;
        size_t packedSize = 0;
        bool last = false;
        size_t size = 0;
    };

    /** Each thread adds a segment's buffer and room for its packed bytes;
        with three, a 16 MB binary in 2 MB segments is inflated in about
        13 MB, below its own size. */
    static constexpr size_t maxThreads = 3;

    /** Memory a segment is read from or inflated into. */
    struct Buffer
    {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
    };

    /** Starts inflating. Throws std::bad_alloc when not even one segment's
        buffers can be had. */
    SegmentInflater (std::vector<Segment>, size_t budget);

    /** Stops the other threads, waiting for a segment they are inflating. */
    ~SegmentInflater();

    /** A segment inflated, and the CRC-32 of what it inflated to. */
    struct Inflated
    {
        const uint8_t* bytes = nullptr;
        uint32_t crc = 0;
    };

    /** The next segment, inflated, held until the next call; no bytes when
        it does not inflate to exactly its size (a damaged archive), or
        after the last. */
    Inflated next();

    /** How many threads inflate (1: the caller's alone). */
    size_t threads() const { return workers.empty() ? 1 : workers.size(); }

private:
    struct Inflater;
    struct Slot;

    void work (Inflater&);
    static Inflated inflate (Inflater&, const Segment&, uint8_t* out);

    const std::vector<Segment> segments;
    std::vector<std::unique_ptr<Inflater>> inflaters;
    std::vector<std::unique_ptr<Slot>> slots;
    std::vector<std::thread> workers;

    std::mutex lock;
    std::condition_variable changed;
    size_t claimed = 0;     // segments a thread has taken
    size_t handed = 0;      // segments handed back by next()
    bool stopping = false;
};
