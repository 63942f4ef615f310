#include "PeVersionReader.h"
#include <algorithm>
#include <array>
#include <cstring>

namespace PeVersionReader
{
    namespace
    {
        constexpr uint16_t rtVersion = 16;
        constexpr uint16_t versionInfoId = 1;            // the resource name Windows looks up
        constexpr uint32_t fixedInfoSignature = 0xFEEF04BD;
        constexpr uint32_t maxSections = 96;             // the PE format's own limit
        constexpr uint32_t maxDirectoryEntries = 4096;

        uint16_t u16 (const uint8_t* p) { return (uint16_t) (p[0] | (p[1] << 8)); }
        uint32_t u32 (const uint8_t* p) { return (uint32_t) p[0] | ((uint32_t) p[1] << 8) | ((uint32_t) p[2] << 16) | ((uint32_t) p[3] << 24); }

        struct Section
        {
            uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
        };

        class Image
        {
        public:
            Image (const ReadAt& r, uint64_t size) : readAt (r), fileSize (size) {}

            bool readBytes (uint64_t offset, void* destination, size_t size) const
            {
                return offset <= fileSize && size <= fileSize - offset && readAt (offset, destination, size);
            }

            bool loadSections (uint64_t tableOffset, uint32_t count)
            {
                if (count == 0 || count > maxSections)
                    return false;

                std::array<uint8_t, 40> header {};
                for (uint32_t i = 0; i < count; ++i)
                {
                    if (! readBytes (tableOffset + 40ull * i, header.data(), header.size()))
                        return false;

                    sections[i] = { u32 (&header[12]), u32 (&header[8]), u32 (&header[16]), u32 (&header[20]) };
                }

                numSections = count;
                return true;
            }

            /** File offset of `size` bytes at a relative virtual address, when the
                section holding them has them in the file. */
            std::optional<uint64_t> offsetOf (uint32_t rva, uint32_t size) const
            {
                for (uint32_t i = 0; i < numSections; ++i)
                {
                    const auto& s = sections[i];
                    const auto extent = std::max (s.virtualSize, s.rawSize);

                    if (rva < s.virtualAddress || (uint64_t) rva - s.virtualAddress >= extent)
                        continue;

                    const uint64_t within = (uint64_t) rva - s.virtualAddress;
                    if (within + size > s.rawSize)
                        return std::nullopt;

                    return (uint64_t) s.rawOffset + within;
                }

                return std::nullopt;
            }

            bool readAtRva (uint32_t rva, void* destination, uint32_t size) const
            {
                const auto offset = offsetOf (rva, size);
                return offset.has_value() && readBytes (*offset, destination, size);
            }

        private:
            const ReadAt& readAt;
            uint64_t fileSize;
            std::array<Section, maxSections> sections {};
            uint32_t numSections = 0;
        };

        /** Finds an entry of a resource directory: the one with `id`, or with
            nullopt the first entry of the wanted kind. Returns its raw offset field. */
        std::optional<uint32_t> findEntry (const Image& image, uint32_t resourceRva, uint32_t directoryOffset,
                                           std::optional<uint16_t> id, bool wantDirectory)
        {
            std::array<uint8_t, 16> directory {};
            if (! image.readAtRva (resourceRva + directoryOffset, directory.data(), (uint32_t) directory.size()))
                return std::nullopt;

            const uint32_t named = u16 (&directory[12]), numbered = u16 (&directory[14]);
            if (named + numbered > maxDirectoryEntries)
                return std::nullopt;

            // Named entries come first and never carry a numeric id: skip them.
            for (uint32_t i = (id.has_value() ? named : 0); i < named + numbered; ++i)
            {
                std::array<uint8_t, 8> entry {};
                if (! image.readAtRva (resourceRva + directoryOffset + 16 + 8 * i, entry.data(), (uint32_t) entry.size()))
                    return std::nullopt;

                const auto name = u32 (&entry[0]), target = u32 (&entry[4]);
                const bool isDirectory = (target & 0x80000000u) != 0;

                if (id.has_value() && ((name & 0x80000000u) != 0 || name != *id))
                    continue;

                if (isDirectory != wantDirectory)
                {
                    if (id.has_value())
                        return std::nullopt;

                    continue;
                }

                return target & 0x7FFFFFFFu;
            }

            return std::nullopt;
        }

        std::optional<Version> parseVersionInfo (const uint8_t* p, uint32_t size)
        {
            // VS_VERSIONINFO: length, value length, type, the key "VS_VERSION_INFO"
            // in UTF-16 with its terminator, padding to 32 bits, VS_FIXEDFILEINFO.
            static constexpr char key[] = "VS_VERSION_INFO";
            constexpr uint32_t keyEnd = 6 + sizeof (key) * 2;
            constexpr uint32_t fixedStart = (keyEnd + 3) & ~3u;
            constexpr uint32_t needed = fixedStart + 52;

            if (size < needed || u16 (p) < needed || u16 (p + 2) < 52)
                return std::nullopt;

            for (size_t i = 0; i < sizeof (key); ++i)
                if (u16 (p + 6 + 2 * i) != (uint16_t) (unsigned char) key[i])
                    return std::nullopt;

            const auto* fixed = p + fixedStart;
            if (u32 (fixed) != fixedInfoSignature)
                return std::nullopt;

            const auto ms = u32 (fixed + 8), ls = u32 (fixed + 12);
            return Version { (uint16_t) (ms >> 16), (uint16_t) ms, (uint16_t) (ls >> 16), (uint16_t) ls };
        }
    }

    std::optional<Version> read (const ReadAt& readAt, uint64_t fileSize)
    {
        Image image (readAt, fileSize);

        std::array<uint8_t, 64> dos {};
        if (! image.readBytes (0, dos.data(), dos.size()) || dos[0] != 'M' || dos[1] != 'Z')
            return std::nullopt;

        const uint64_t peOffset = u32 (&dos[0x3C]);
        std::array<uint8_t, 24> coff {};
        if (! image.readBytes (peOffset, coff.data(), coff.size()) || std::memcmp (coff.data(), "PE\0\0", 4) != 0)
            return std::nullopt;

        const uint32_t numSections = u16 (&coff[6]), optionalSize = u16 (&coff[20]);
        std::array<uint8_t, 240> optional {};
        if (optionalSize < 96 || ! image.readBytes (peOffset + 24, optional.data(), std::min<size_t> (optionalSize, optional.size())))
            return std::nullopt;

        // The data directories follow the fields whose widths differ between
        // PE32 and PE32+; the resource table is the third of them.
        const auto magic = u16 (&optional[0]);
        const uint32_t directoriesAt = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
        if (directoriesAt == 0 || optionalSize < directoriesAt + 3 * 8 || u32 (&optional[directoriesAt - 4]) < 3)
            return std::nullopt;

        const auto resourceRva = u32 (&optional[directoriesAt + 16]);
        if (resourceRva == 0 || ! image.loadSections (peOffset + 24 + optionalSize, numSections))
            return std::nullopt;

        // Type 16, then name 1, then the first language: three levels and no
        // more, so looping offsets cannot make the walk go on.
        const auto typeDirectory = findEntry (image, resourceRva, 0, rtVersion, true);
        if (! typeDirectory) return std::nullopt;
        const auto nameDirectory = findEntry (image, resourceRva, *typeDirectory, versionInfoId, true);
        if (! nameDirectory) return std::nullopt;
        const auto dataEntry = findEntry (image, resourceRva, *nameDirectory, std::nullopt, false);
        if (! dataEntry) return std::nullopt;

        std::array<uint8_t, 16> data {};
        if (! image.readAtRva (resourceRva + *dataEntry, data.data(), (uint32_t) data.size()))
            return std::nullopt;

        std::array<uint8_t, 128> info {};
        const auto infoSize = std::min<uint32_t> (u32 (&data[4]), (uint32_t) info.size());
        if (! image.readAtRva (u32 (&data[0]), info.data(), infoSize))
            return std::nullopt;

        return parseVersionInfo (info.data(), infoSize);
    }
}
