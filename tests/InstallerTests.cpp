#include "TestEnvironment.h"
#include "../install/Installer.h"
#include "../install/Staging.h"
#include "../install/ZipDirectory.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <unistd.h>
#endif

namespace
{
    /** What a plain extraction of a format's archive puts in an empty folder. */
    std::map<std::string, std::string> referenceTree (int format, const juce::File& scratch)
    {
        const auto archive = archiveFor (format);
        juce::ZipFile zip (new juce::MemoryInputStream (archive.data, (size_t) archive.size, false), true);
        const auto folder = scratch.getNonexistentChildFile ("reference", {});
        folder.createDirectory();
        zip.uncompressTo (folder, true);
        auto tree = snapshotTree (folder);
        folder.deleteRecursively();
        return tree;
    }

    std::vector<char> archiveBytes (int format)
    {
        const auto archive = archiveFor (format);
        return { archive.data, archive.data + archive.size };
    }

    EmbeddedData view (const std::vector<char>& bytes)  { return { bytes.data(), (int) bytes.size() }; }

    /** Flips bytes inside the compressed data of the archive's last entry. The
        payload is incompressible, so deflate stores it and only the checksum
        can tell. */
    std::vector<char> withDamagedLastEntry (int format)
    {
        auto bytes = archiveBytes (format);
        const std::string data (bytes.begin(), bytes.end());
        const auto header = data.rfind (std::string ("PK\x03\x04", 4));
        const auto nameLength = (uint8_t) bytes[header + 26] | ((uint8_t) bytes[header + 27] << 8);
        const auto extraLength = (uint8_t) bytes[header + 28] | ((uint8_t) bytes[header + 29] << 8);
        const auto payload = header + 30 + (size_t) nameLength + (size_t) extraLength;

        for (size_t i = 0; i < 64; ++i)
            bytes[payload + 4000 + i] ^= 0x5A;

        return bytes;
    }

    /** An archive holding the CLAP item and one more top-level file. */
    juce::MemoryBlock archiveWithStrayEntry (const juce::File& scratch)
    {
        const auto item = scratch.getChildFile ("Vantorix3.clap"), stray = scratch.getChildFile ("readme.txt");
        writeBytes (item, "binary");
        writeBytes (stray, "stray");
        juce::ZipFile::Builder builder;
        builder.addFile (item, 6, "Vantorix3.clap");
        builder.addFile (stray, 6, "readme.txt");
        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        return out.getMemoryBlock();
    }

    /** A VST2 folder whose installed copy the user has changed since: the bytes
        a failed run must leave alone. */
    juce::File vst2FolderWithChangedCopy (const IsolatedHome& home, const std::string& bytes)
    {
        const auto folder = home.root.getChildFile ("vst2");
        EXPECT_TRUE (installFormat (folder, "Vantorix3", vst2Format, archiveFor (vst2Format)).succeeded);
        writeBytes (folder.getChildFile ("Vantorix3.dll"), bytes);
        return folder;
    }
}

//==============================================================================
TEST (Installer, InstallsEachFormatIntoAFolderThatDoesNotExistYet)
{
    for (int format = 0; format < numFormats; ++format)
    {
        SCOPED_TRACE (formatNames[(size_t) format]);
        IsolatedHome home;
        const auto folder = home.root.getChildFile ("not/yet/there");

        const auto outcome = installFormat (folder, "Vantorix3", format, archiveFor (format));

        EXPECT_TRUE (outcome.processed);
        EXPECT_TRUE (outcome.succeeded) << outcome.reason;
        EXPECT_EQ (snapshotTree (folder), referenceTree (format, home.root));   // nothing else, no leftovers
    }
}

#if JUCE_WINDOWS
TEST (Installer, ANewFolderAtADrivesRootIsMadeThereWhateverTheWorkingFolder)
{
    // The root's name as the framework gives it, "C:", is the drive's current
    // folder to the system: a folder on that drive would be made inside it.
    IsolatedHome home;
    const auto working = home.root.getChildFile ("working");
    working.createDirectory();
    const auto folder = juce::File ("C:\\" + home.root.getFileName() + "-at-root");
    const juce::ScopeGuard removeIt { [&] { folder.deleteRecursively(); } };

    const auto before = juce::File::getCurrentWorkingDirectory();
    working.setAsCurrentWorkingDirectory();
    const auto outcome = installFormat (folder, "Vantorix3", clapFormat, archiveFor (clapFormat));
    before.setAsCurrentWorkingDirectory();

    EXPECT_TRUE (outcome.succeeded) << outcome.reason;
    EXPECT_TRUE (folder.getChildFile ("Vantorix3.clap").existsAsFile());
    EXPECT_TRUE (snapshotTree (working).empty());
}
#endif

TEST (Installer, ReinstallLeavesExactlyTheArchivesEntries)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("vst3");
    ASSERT_TRUE (installFormat (folder, "Vantorix3", vst3Format, archiveFor (vst3Format)).succeeded);
    writeBytes (folder.getChildFile ("Vantorix3.vst3/Contents/extra.txt"), "left by the user");
    writeBytes (folder.getChildFile ("Vantorix3.vst3/Contents/Resources/moduleinfo.json"), "edited");
    writeBytes (folder.getChildFile ("Other.vst3/keep.txt"), "another plug-in");

    EXPECT_TRUE (installFormat (folder, "Vantorix3", vst3Format, archiveFor (vst3Format)).succeeded);

    auto expected = referenceTree (vst3Format, home.root);
    expected["Other.vst3"] = "<dir>";
    expected["Other.vst3/keep.txt"] = "another plug-in";
    EXPECT_EQ (snapshotTree (folder), expected);
}

TEST (Installer, APlugInBuildsWholeTreeArrivesExactly)
{
    // Bundles with presets, nested resources and an empty folder, archived by
    // the build's own tools.
    const auto rich = juce::File (TSR_TEST_FIXTURES).getChildFile ("rich");
    const auto payload = snapshotTree (rich.getChildFile ("payload"));
    const char* archives[] = { "vst3.zip", "vst.zip", "clap.zip", "aax.zip" };

    for (int format = 0; format < numFormats; ++format)
    {
        SCOPED_TRACE (archives[format]);
        IsolatedHome home;
        juce::MemoryBlock archive;
        ASSERT_TRUE (rich.getChildFile ("archives").getChildFile (archives[format]).loadFileAsData (archive));
        const auto folder = home.root.getChildFile ("plugins");

        EXPECT_TRUE (installFormat (folder, "Vantorix3", format, { static_cast<const char*> (archive.getData()), (int) archive.getSize() }).succeeded);

        const auto item = "Vantorix3" + std::string (itemExtensions[(size_t) format]);
        std::map<std::string, std::string> expected;
        for (const auto& [path, bytes] : payload)
            if (path == item || path.rfind (item + "/", 0) == 0)
                expected[path] = bytes;

        EXPECT_GT (expected.size(), format == vst3Format || format == aaxFormat ? 8u : 0u);
        EXPECT_EQ (snapshotTree (folder), expected);
    }
}

TEST (Installer, UninstallRemovesOnlyTheItem)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("aax");
    ASSERT_TRUE (installFormat (folder, "Vantorix3", aaxFormat, archiveFor (aaxFormat)).succeeded);
    writeBytes (folder.getChildFile ("Other.aaxplugin"), "x");

    const auto outcome = uninstallFormat (folder, "Vantorix3", aaxFormat);
    EXPECT_TRUE (outcome.succeeded);
    EXPECT_EQ (snapshotTree (folder), (std::map<std::string, std::string> { { "Other.aaxplugin", "x" } }));

    EXPECT_TRUE (uninstallFormat (folder, "Vantorix3", aaxFormat).succeeded);   // nothing left to remove
}

//==============================================================================
// Each failure leaves what was installed exactly as it was, and says why.
TEST (InstallerFaults, NoFolderAndAFileInPlaceOfTheFolder)
{
    IsolatedHome home;
    const auto notAFolder = home.root.getChildFile ("clap");
    writeBytes (notAFolder, "a file");

    const auto noFolder = installFormat (juce::File(), "Vantorix3", clapFormat, archiveFor (clapFormat));
    EXPECT_FALSE (noFolder.succeeded);
    EXPECT_EQ (noFolder.reason, InstallFailure::noFolder);
    EXPECT_EQ (uninstallFormat (juce::File(), "Vantorix3", clapFormat).reason, InstallFailure::noFolder);

    const auto fileInPlace = installFormat (notAFolder, "Vantorix3", clapFormat, archiveFor (clapFormat));
    EXPECT_FALSE (fileInPlace.succeeded);
    EXPECT_EQ (fileInPlace.reason, InstallFailure::folderIsFile);
    EXPECT_EQ (readBytes (notAFolder), "a file");
}

TEST (InstallerFaults, DamagedArchiveKeepsTheInstalledCopy)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("vst3");
    ASSERT_TRUE (installFormat (folder, "Vantorix3", vst3Format, archiveFor (vst3Format)).succeeded);
    writeBytes (folder.getChildFile ("Vantorix3.vst3/Contents/user-preset.txt"), "mine");
    const auto before = snapshotTree (folder);

    const auto damaged = withDamagedLastEntry (vst3Format);
    const auto outcome = installFormat (folder, "Vantorix3", vst3Format, view (damaged));

    EXPECT_FALSE (outcome.succeeded);
    EXPECT_EQ (outcome.reason, InstallFailure::damagedArchive);
    EXPECT_EQ (snapshotTree (folder), before);
}

TEST (InstallerFaults, EachEntryIsCheckedAgainstItsRecordHoweverItIsInflated)
{
    // Stored, deflated and inflated whole, and deflated past the limit of
    // what is held whole (inflated a slice at a time): each written exactly
    // when whole, and refused as damaged, with nothing left, when its bytes,
    // its recorded checksum or its recorded size are not what it holds.
    IsolatedHome home;

    struct Layout
    {
        const char* name;
        size_t size;
        int compression;
    };

    const Layout layouts[] = {
        { "stored", 300000, 0 },
        { "deflated, inflated whole", 300000, 6 },
        { "deflated, larger than is held whole", (size_t) Staging::wholeEntryLimit + 1000003, 1 },
    };

    enum class Damage { none, packedByte, recordedCrc, recordedSize };

    for (const auto& layout : layouts)
    {
        // Compressible, but never the same for long: deflate has work to do.
        std::string content (layout.size, '\0');
        uint32_t state = 12345;
        for (size_t i = 0; i < content.size(); ++i)
        {
            state = state * 1103515245u + 12345u;
            content[i] = (char) ((i % 4096) < 2048 ? 'a' + (state >> 28) : (uint32_t) (i / 4096));
        }

        juce::ZipFile::Builder builder;
        builder.addEntry (new juce::MemoryInputStream (content.data(), content.size(), false), layout.compression,
                          "Vantorix3.clap", juce::Time (2026, 0, 1, 0, 0));
        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        const std::string archive (static_cast<const char*> (out.getData()), out.getDataSize());
        const auto header = archive.find (std::string ("PK\x01\x02", 4));
        ASSERT_NE (header, std::string::npos);
        ASSERT_EQ ((int) archive[header + 10], layout.compression == 0 ? 0 : 8) << "method";

        for (const auto damage : { Damage::none, Damage::packedByte, Damage::recordedCrc, Damage::recordedSize })
        {
            SCOPED_TRACE (juce::String (layout.name) + ", damage " + juce::String ((int) damage));
            auto bytes = archive;
            const auto dataStart = 30 + (size_t) (uint8_t) bytes[26] + ((size_t) (uint8_t) bytes[28]);

            switch (damage)
            {
                case Damage::none:          break;
                case Damage::packedByte:    bytes[dataStart + 1000] ^= 0x20; break;
                case Damage::recordedCrc:   bytes[header + 16] ^= 0x01; break;
                case Damage::recordedSize:  bytes[header + 24] = (char) ((uint8_t) bytes[header + 24] - 1); break;
            }

            const auto folder = home.root.getChildFile ("clap");
            folder.deleteRecursively();
            folder.createDirectory();
            const auto outcome = installFormat (folder, "Vantorix3", clapFormat, { bytes.data(), (int) bytes.size() });

            if (damage == Damage::none)
            {
                ASSERT_TRUE (outcome.succeeded) << outcome.reason << " " << outcome.detail;
                juce::MemoryBlock installed;
                ASSERT_TRUE (folder.getChildFile ("Vantorix3.clap").loadFileAsData (installed));
                EXPECT_TRUE (installed.getSize() == content.size() && std::memcmp (installed.getData(), content.data(), content.size()) == 0);
            }
            else
            {
                EXPECT_EQ (outcome.reason, InstallFailure::damagedArchive);
                EXPECT_TRUE (snapshotTree (folder).empty());
            }
        }
    }
}

TEST (InstallerFaults, TheProgramsOwnArchivesInflateASegmentAtATimeEachChecked)
{
    // The binary of the CLAP archive the program carries: deflated in
    // segments that each inflate alone, listed in the central directory.
    IsolatedHome home;
    const auto archive = archiveBytes (clapFormat);
    const auto records = ZipDirectory::read (archive.data(), archive.size());
    ASSERT_EQ (records.size(), 1u);
    const auto& segments = records[0].segments;
    ASSERT_GE (segments.size(), 4u);
    EXPECT_EQ (segments.back().unpacked, records[0].size);
    EXPECT_EQ (segments.back().packed, records[0].packedSize);

    const std::string bytes (archive.begin(), archive.end());
    const auto header = bytes.find (std::string ("PK\x01\x02", 4));
    const auto list = header + 46 + (size_t) (uint8_t) bytes[header + 28] + ((size_t) (uint8_t) bytes[header + 29] << 8) + 4;
    const auto dataStart = 30 + (size_t) (uint8_t) bytes[26] + ((size_t) (uint8_t) bytes[27] << 8);
    const auto reference = referenceTree (clapFormat, home.tempFolder());

    struct Case
    {
        const char* name;
        std::function<void (std::vector<char>&)> change;
    };

    const Case cases[] = {
        { "as carried", [] (std::vector<char>&) {} },
        { "a byte of the third segment changed", [&] (std::vector<char>& b) { b[dataStart + segments[1].packed + 100] ^= 0x20; } },
        { "the second segment said to end a byte early", [&] (std::vector<char>& b) { b[list + 8] = (char) (b[list + 8] - 1); } },
        { "the first segment said to hold a byte more", [&] (std::vector<char>& b) { b[list + 4] = (char) (b[list + 4] + 1); } },
        { "the segments out of order", [&] (std::vector<char>& b) { std::swap_ranges (b.begin() + (long) list, b.begin() + (long) list + 8,
                                                                                        b.begin() + (long) list + 8); } },
        { "the recorded checksum changed", [&] (std::vector<char>& b) { b[header + 16] ^= 0x01; } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto changed = archive;
        c.change (changed);

        const auto folder = home.root.getChildFile ("clap");
        folder.deleteRecursively();
        folder.createDirectory();
        const auto outcome = installFormat (folder, "Vantorix3", clapFormat, view (changed));

        if (&c == &cases[0])
        {
            ASSERT_TRUE (outcome.succeeded) << outcome.reason;
            EXPECT_TRUE (snapshotTree (folder) == reference);
        }
        else
        {
            EXPECT_EQ (outcome.reason, InstallFailure::damagedArchive);
            EXPECT_TRUE (snapshotTree (folder).empty());
        }
    }
}

TEST (InstallerFaults, ArchiveWithEntriesOutsideTheItemIsRefused)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("clap");
    folder.createDirectory();
    const auto stray = archiveWithStrayEntry (home.tempFolder());

    const auto outcome = installFormat (folder, "Vantorix3", clapFormat,
                                        { static_cast<const char*> (stray.getData()), (int) stray.getSize() });
    EXPECT_EQ (outcome.reason, InstallFailure::damagedArchive);
    EXPECT_TRUE (snapshotTree (folder).empty());
}

#if ! JUCE_WINDOWS
TEST (InstallerFaults, ReadOnlyFolderKeepsTheInstalledCopy)
{
    // CI runs as root, for whom permission bits do not count; an immutable
    // folder refuses even root.
    IsolatedHome home;
    const auto folder = vst2FolderWithChangedCopy (home, "the user's older copy");
    const auto before = snapshotTree (folder);

    CommandGuard immutable ({ "chattr", "+i", folder.getFullPathName() }, { "chattr", "-i", folder.getFullPathName() });
    if (! immutable.applied)
        GTEST_SKIP() << "chattr +i is not available on this file system";

    const auto install = installFormat (folder, "Vantorix3", vst2Format, archiveFor (vst2Format));
    EXPECT_EQ (install.reason, "no permission to write to the install folder");
    const auto uninstall = uninstallFormat (folder, "Vantorix3", vst2Format);
    EXPECT_EQ (uninstall.reason, "no permission to remove the installed copy");

    // The path and the system's own words travel with the plain ones.
    for (const auto& outcome : { install, uninstall })
        EXPECT_EQ (outcome.detail, folder.getChildFile (".Vantorix3.dll.tsr-work").getFullPathName() + ": Operation not permitted");
    EXPECT_EQ (snapshotTree (folder), before);
}

TEST (InstallerFaults, FullDiskKeepsTheInstalledCopy)
{
    IsolatedHome home;
    const auto mountPoint = home.root.getChildFile ("small-disk");
    mountPoint.createDirectory();

    // Room for one copy of the bundle, not for a second one beside it.
    const auto archive = archiveFor (vst3Format);
    juce::MemoryInputStream source (archive.data, (size_t) archive.size, false);
    juce::ZipFile zip (source);
    juce::int64 bundleBytes = 0;
    for (int i = 0; i < zip.getNumEntries(); ++i)
        bundleBytes += zip.getEntry (i)->uncompressedSize;
    const auto size = "size=" + juce::String (bundleBytes * 3 / 2 / 1024) + "k";
    CommandGuard mounted ({ "mount", "-t", "tmpfs", "-o", size, "tmpfs", mountPoint.getFullPathName() },
                          { "umount", mountPoint.getFullPathName() });
    if (! mounted.applied)
        GTEST_SKIP() << "cannot mount a small tmpfs here";

    const auto folder = mountPoint.getChildFile ("vst3");
    ASSERT_TRUE (installFormat (folder, "Vantorix3", vst3Format, archiveFor (vst3Format)).succeeded);
    writeBytes (folder.getChildFile ("Vantorix3.vst3/Contents/user-preset.txt"), "mine");
    const auto before = snapshotTree (folder);

    const auto outcome = installFormat (folder, "Vantorix3", vst3Format, archiveFor (vst3Format));
    EXPECT_EQ (outcome.reason, "the disk is full");
    EXPECT_TRUE (outcome.detail.startsWith (folder.getFullPathName())) << outcome.detail;
    EXPECT_TRUE (outcome.detail.endsWith (": No space left on device")) << outcome.detail;
    EXPECT_EQ (snapshotTree (folder), before);
}
/** Another user: the test program again, as "nobody", installs into and
    removes from a folder of root's (see TestMain), and reports the outcomes. */
int runUnprivilegedRunIfAsked()
{
    const auto folder = juce::SystemStats::getEnvironmentVariable ("TSR_TEST_UNPRIVILEGED_RUN", {});
    if (folder.isEmpty())
        return -1;

    const auto install = installFormat (juce::File (folder), "Vantorix3", clapFormat, archiveFor (clapFormat));
    const auto uninstall = uninstallFormat (juce::File (folder), "Vantorix3", vst2Format);
    std::printf ("%s\n%s\n%s\n%s\n", install.reason.toRawUTF8(), install.detail.toRawUTF8(),
                 uninstall.reason.toRawUTF8(), uninstall.detail.toRawUTF8());
    return 0;
}

TEST (InstallerFaults, AUserWithoutPermissionIsToldSo)
{
    IsolatedHome home;
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to be another user";

    const auto folder = home.root.getChildFile ("system plug-ins");
    writeBytes (folder.getChildFile ("Vantorix3.dll"), "root's copy");
    const auto before = snapshotTree (folder);
    runCommand ({ "chmod", "755", home.root.getFullPathName() });    // nobody may look, not write

    home.setVariable ("TSR_TEST_UNPRIVILEGED_RUN", folder.getFullPathName());
    juce::ChildProcess child;
    ASSERT_TRUE (child.start (juce::StringArray { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                                  juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName() },
                              juce::ChildProcess::wantStdOut));
    const auto lines = juce::StringArray::fromLines (child.readAllProcessOutput().trimEnd());
    home.setVariable ("TSR_TEST_UNPRIVILEGED_RUN", std::nullopt);
    ASSERT_EQ (lines.size(), 4) << lines.joinIntoString ("\n");

    const auto denied = folder.getChildFile (".Vantorix3.clap.tsr-work").getFullPathName() + ": Permission denied";
    EXPECT_EQ (lines[0], "no permission to write to the install folder");
    EXPECT_EQ (lines[1], denied);
    EXPECT_EQ (lines[2], "no permission to remove the installed copy");
    EXPECT_EQ (lines[3], folder.getChildFile (".Vantorix3.dll.tsr-work").getFullPathName() + ": Permission denied");
    EXPECT_EQ (snapshotTree (folder), before);
}
#else
int runUnprivilegedRunIfAsked()  { return -1; }

TEST (InstallerFaults, FileHeldOpenKeepsTheInstalledCopy)
{
    IsolatedHome home;
    const auto folder = vst2FolderWithChangedCopy (home, "loaded by a host");
    const auto before = snapshotTree (folder);

    // A host holding the plug-in open, sharing neither writing nor deletion.
    const auto handle = CreateFileW (folder.getChildFile ("Vantorix3.dll").getFullPathName().toWideCharPointer(),
                                     GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE (handle, INVALID_HANDLE_VALUE);

    const auto install = installFormat (folder, "Vantorix3", vst2Format, archiveFor (vst2Format));
    const auto uninstall = uninstallFormat (folder, "Vantorix3", vst2Format);
    EXPECT_EQ (install.reason, "could not replace the installed copy, a file is in use");
    EXPECT_EQ (uninstall.reason, "could not remove the installed copy, a file is in use");

    // The path and the system's own words travel with the plain ones.
    for (const auto& outcome : { install, uninstall })
    {
        const auto prefix = folder.getChildFile ("Vantorix3.dll").getFullPathName() + ": ";
        EXPECT_TRUE (outcome.detail.startsWith (prefix)) << outcome.detail;
        EXPECT_GT (outcome.detail.length(), prefix.length() + 10) << outcome.detail;
    }
    CloseHandle (handle);

    EXPECT_EQ (snapshotTree (folder), before);
}
#endif
