#include "TestEnvironment.h"
#include "../pe/PeFileVersion.h"
#include "../pe/PeVersionReader.h"
#include <cstring>

namespace
{
    std::vector<uint8_t> fixtureBytes (const char* name)
    {
        const auto bytes = readBytes (versionFixture (name));
        return { bytes.begin(), bytes.end() };
    }

    /** Reads an image from memory, counting the bytes the reader asks for. */
    std::optional<PeVersionReader::Version> readImage (const std::vector<uint8_t>& image, size_t* bytesRead = nullptr)
    {
        return PeVersionReader::read ([&] (uint64_t offset, void* destination, size_t size)
                                      {
                                          if (offset > image.size() || size > image.size() - offset)
                                              return false;
                                          std::memcpy (destination, image.data() + offset, size);
                                          if (bytesRead != nullptr)
                                              *bytesRead += size;
                                          return true;
                                      },
                                      image.size());
    }

    void put32 (std::vector<uint8_t>& image, size_t at, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            image[at + (size_t) i] = (uint8_t) (value >> (8 * i));
    }

    uint32_t get32 (const std::vector<uint8_t>& image, size_t at)
    {
        return (uint32_t) image[at] | ((uint32_t) image[at + 1] << 8) | ((uint32_t) image[at + 2] << 16) | ((uint32_t) image[at + 3] << 24);
    }

}

TEST (PeVersionReader, ReadsEveryFixtureLikeTheWindowsLoader)
{
    for (auto [name, expected] : versionFixtureCases)
    {
        const auto file = versionFixture (name);
        EXPECT_EQ (peFileVersion (file), expected) << name;
       #if JUCE_WINDOWS
        EXPECT_EQ (peFileVersion (file), file.getVersion()) << name;
       #endif
    }
}

TEST (PeVersionReader, ReadsOnlyAFewHundredBytesWhateverTheBinarySize)
{
    size_t bytesRead = 0;
    const auto image = fixtureBytes ("v3.4.0.0.dll");   // carries 70 KB of code before its resources
    ASSERT_GT (image.size(), 70000u);
    ASSERT_TRUE (readImage (image, &bytesRead).has_value());
    EXPECT_LT (bytesRead, 1024u);
}

TEST (PeVersionReader, TruncatedImagesGiveNoVersionUntilTheVersionDataIsWhole)
{
    const auto image = fixtureBytes ("v3.2.1.0.dll");
    std::optional<size_t> firstReadable;

    for (size_t length = 0; length <= image.size(); ++length)
    {
        const std::vector<uint8_t> truncated (image.begin(), image.begin() + (std::ptrdiff_t) length);

        if (const auto version = readImage (truncated))
        {
            EXPECT_EQ (*version, (PeVersionReader::Version { 3, 2, 1, 0 }));
            if (! firstReadable)
                firstReadable = length;
        }
        else
        {
            EXPECT_FALSE (firstReadable.has_value()) << "version lost again at " << length;
        }
    }

    // Headers (0x200), the resource tree (88 bytes), then VS_VERSIONINFO (92 bytes).
    EXPECT_EQ (firstReadable, std::optional<size_t> (0x200 + 88 + 92));
}

TEST (PeVersionReader, MalformedHeadersAndOffsetsGiveNoVersion)
{
    const auto good = fixtureBytes ("v3.3.0.0.dll");
    const auto peAt = get32 (good, 0x3C);
    const size_t optionalAt = peAt + 24, sectionAt = optionalAt + 240;
    const auto resourceRva = get32 (good, optionalAt + 112 + 16);
    const auto resourceRaw = get32 (good, sectionAt + 20);

    const std::pair<const char*, std::function<void (std::vector<uint8_t>&)>> mutations[] = {
        { "wrong DOS magic",           [] (auto& i) { i[0] = 'Z'; } },
        { "PE header past the end",    [] (auto& i) { put32 (i, 0x3C, 0xFFFFFFF0u); } },
        { "wrong PE signature",        [&] (auto& i) { i[peAt] = 'N'; } },
        { "unknown optional magic",    [&] (auto& i) { i[optionalAt] = 0x07; } },
        { "65535 sections",            [&] (auto& i) { i[peAt + 6] = 0xFF; i[peAt + 7] = 0xFF; } },
        { "no sections",               [&] (auto& i) { i[peAt + 6] = 0; i[peAt + 7] = 0; } },
        { "two data directories",      [&] (auto& i) { put32 (i, optionalAt + 108, 2); } },
        { "resource RVA nowhere",      [&] (auto& i) { put32 (i, optionalAt + 112 + 16, 0x7FFFFFF0u); } },
        { "section raw data past end", [&] (auto& i) { put32 (i, sectionAt + 20, 0xFFFFFF00u); } },
        { "no raw data in section",    [&] (auto& i) { put32 (i, sectionAt + 16, 0); } },
        { "type entry loops to root",  [&] (auto& i) { put32 (i, resourceRaw + 20, 0x80000000u); } },
        { "name entry loops to root",  [&] (auto& i) { put32 (i, resourceRaw + 24 + 20, 0x80000000u); } },
        { "65535 directory entries",   [&] (auto& i) { i[resourceRaw + 14] = 0xFF; i[resourceRaw + 15] = 0xFF; } },
        { "data entry past the end",   [&] (auto& i) { put32 (i, resourceRaw + 72, resourceRva + 0x100000u); } },
        { "data size too small",       [&] (auto& i) { put32 (i, resourceRaw + 76, 20); } },
        { "wrong key",                 [&] (auto& i) { i[resourceRaw + 88 + 6] = 'X'; } },
        { "wrong fixed signature",     [&] (auto& i) { i[resourceRaw + 88 + 40] ^= 0xFF; } },
    };

    ASSERT_TRUE (readImage (good).has_value());

    for (const auto& [name, mutate] : mutations)
    {
        auto image = good;
        mutate (image);
        EXPECT_FALSE (readImage (image).has_value()) << name;
    }
}

TEST (PeVersionReader, FilesThatAreNotImagesGiveNoVersion)
{
    IsolatedHome home;
    const auto empty = home.root.getChildFile ("empty.dll");
    const auto text = home.root.getChildFile ("text.dll");
    const auto folder = home.root.getChildFile ("folder.dll");
    writeBytes (empty, "");
    writeBytes (text, "MZ this is not a program");
    folder.createDirectory();

    for (const auto& file : { empty, text, folder, home.root.getChildFile ("missing.dll") })
        EXPECT_EQ (peFileVersion (file), "") << file.getFileName();
}

#if ! JUCE_WINDOWS
TEST (PeVersionReader, HugeSparseFileIsReadInAMoment)
{
    IsolatedHome home;
    const auto file = home.root.getChildFile ("huge.dll");
    auto header = fixtureBytes ("v3.3.0.0.dll");
    put32 (header, 0x3C, 0xFFFFFF00u);          // PE header near the end of 4 GB of holes
    {
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        out.write (header.data(), 64);
        ASSERT_TRUE (out.setPosition (4'294'967'295LL));
        out.writeByte (0);
    }
    ASSERT_EQ (file.getSize(), 4'294'967'296LL);

    const auto start = juce::Time::getMillisecondCounterHiRes();
    EXPECT_EQ (peFileVersion (file), "");
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 500.0);
}
#endif
