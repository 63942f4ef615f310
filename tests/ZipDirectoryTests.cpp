#include "TestEnvironment.h"
#include "../install/ZipDirectory.h"

namespace
{
    /** A small archive as the framework writes it: the names and contents given. */
    std::string archiveOf (const std::vector<std::pair<const char*, std::string>>& entries)
    {
        juce::ZipFile::Builder builder;
        for (const auto& [name, bytes] : entries)
            builder.addEntry (new juce::MemoryInputStream (bytes.data(), bytes.size(), true), 6, name, juce::Time (2026, 0, 1, 0, 0));

        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        return { static_cast<const char*> (out.getData()), out.getDataSize() };
    }

    void putU16 (std::string& bytes, size_t at, uint32_t value)
    {
        bytes[at] = (char) (value & 0xff);
        bytes[at + 1] = (char) ((value >> 8) & 0xff);
    }

    void putU32 (std::string& bytes, size_t at, uint32_t value)
    {
        putU16 (bytes, at, value & 0xffff);
        putU16 (bytes, at + 2, value >> 16);
    }

    size_t endRecordOf (const std::string& bytes)     { return bytes.rfind (std::string ("PK\x05\x06", 4)); }
    size_t firstHeaderOf (const std::string& bytes)   { return bytes.find (std::string ("PK\x01\x02", 4)); }

    std::vector<ZipDirectory::Entry> read (const std::string& bytes)  { return ZipDirectory::read (bytes.data(), bytes.size()); }
}

TEST (ZipDirectory, ReadsNamesChecksumsAndSizesAndRefusesWhatItCannotReadWhole)
{
    const auto plain = archiveOf ({ { "Vantorix3.clap", std::string (5000, 'x') }, { "a\\b.txt", "hello" } });

    // As written: both entries, in order, with zlib's checksums.
    const auto entries = read (plain);
    ASSERT_EQ (entries.size(), 2u);
    EXPECT_EQ (entries[0].name, "Vantorix3.clap");
    EXPECT_EQ (entries[0].size, 5000u);
    EXPECT_EQ (entries[1].name, "a\\b.txt");
    EXPECT_EQ (entries[1].crc, 0x3610a686u);      // crc32 of "hello"
    EXPECT_EQ (entries[0].method, ZipDirectory::deflated);

    // Packed bytes are found only behind a local header, and wholly inside.
    const auto packed = [&plain] (uint64_t localHeader, uint64_t packedSize)
    {
        auto e = ZipDirectory::Entry();
        e.localHeader = localHeader;
        e.packedSize = packedSize;
        return ZipDirectory::packedBytesOf (plain.data(), plain.size(), e);
    };
    EXPECT_EQ (packed (entries[0].localHeader, entries[0].packedSize), reinterpret_cast<const uint8_t*> (plain.data()) + 30 + 14);
    EXPECT_EQ (packed (entries[0].localHeader + 1, 0), nullptr);
    EXPECT_EQ (packed (entries[0].localHeader, plain.size()), nullptr);
    EXPECT_EQ (packed (plain.size() - 10, 0), nullptr);

    struct Case
    {
        const char* name;
        std::function<void (std::string&)> change;
        size_t expected;       /**< entries read; 0: refused */
    };

    const Case cases[] = {
        { "a comment after the end record", [] (std::string& b)
          { putU16 (b, endRecordOf (b) + 20, 7); b += "comment"; }, 2 },
        { "a comment longer than the format allows", [] (std::string& b)
          { b += std::string (70000, 'c'); }, 0 },
        { "an entry with a comment of its own", [] (std::string& b)
          {
              // Grow the first header's comment field into the second header:
              // the second is then not found where it should be.
              putU16 (b, firstHeaderOf (b) + 32, 4);
          }, 0 },
        { "a ZIP64 entry count", [] (std::string& b) { putU16 (b, endRecordOf (b) + 10, 0xffff); }, 0 },
        { "a ZIP64 directory offset", [] (std::string& b) { putU32 (b, endRecordOf (b) + 16, 0xffffffff); }, 0 },
        { "a ZIP64 size in an entry", [] (std::string& b) { putU32 (b, firstHeaderOf (b) + 24, 0xffffffff); }, 0 },
        { "a directory cut short", [] (std::string& b)
          { const auto end = endRecordOf (b); b = b.substr (0, firstHeaderOf (b) + 30) + b.substr (end); }, 0 },
        { "no end record", [] (std::string& b) { b.resize (endRecordOf (b)); }, 0 },
        { "a directory past the end", [] (std::string& b) { putU32 (b, endRecordOf (b) + 16, (uint32_t) b.size()); }, 0 },
        { "nothing at all", [] (std::string& b) { b.clear(); }, 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto bytes = plain;
        c.change (bytes);
        EXPECT_EQ (read (bytes).size(), c.expected);
    }
}
