// Measures the install engine on the archives this build embeds, through the
// same code the window uses, against baselines run in the same process:
//   - installing all four formats (staging, checks, flushes and swap included),
//     and the same without any flush, against `unzip -o` of the same archives,
//     a plain ZipFile::uncompressTo of them (the old zlib floor), each into a
//     fresh folder, and libdeflate's bare decompression of their entries into
//     memory (the new floor: no file at all); no baseline flushes anything;
//   - the memory the install takes above the idle process;
//   - install-state detection of all four formats as one paint does it;
//   - the longest the message thread is held by a run of the window: its
//     start, and each frame's look at the run with a paint of the screen.
// Prints its figures; it asserts nothing.

#include "../install/Installer.h"
#include "../install/InstallDetection.h"
#include "../install/ProductRegistration.h"
#include "../install/SegmentInflater.h"
#include "../install/ZipDirectory.h"
#include "../pe/PeFileVersion.h"
#include "../ui/MainComponent.h"
#include <thread>
#include <algorithm>
#include <libdeflate.h>
#include <random>
#include <fcntl.h>
#include <unistd.h>

namespace
{
    int repetitions = 9;     // the first argument sets another count

    const char* const archiveNames[numFormats] = { "vst3.zip", "vst.zip", "clap.zip", "aax.zip" };

    /** The archives the program carries, as files too, for unzip. */
    void writeEmbeddedArchives (const juce::File& folder)
    {
        for (int format = 0; format < numFormats; ++format)
        {
            const auto archive = archiveFor (format);
            folder.getChildFile (archiveNames[format]).replaceWithData (archive.data, (size_t) archive.size);
        }
    }

    /** The system's file calls with the flushes of files and folders left
        out (what the system hands to the disk in the background while a file
        is written still goes): the engine's cost without waiting for the disk. */
    struct UnflushedFileSystem final : platform::FileSystem
    {
        platform::FileSystem& system = platform::systemFileSystem();

        using Folder = platform::Folder;
        using Name = juce::String;

        platform::FileResult openFolder (const juce::File& p, Folder& o) override                       { return system.openFolder (p, o); }
        platform::FileResult openFolder (const Folder& f, const Name& n, Folder& o) override             { return system.openFolder (f, n, o); }
        platform::FileResult createFolder (const Folder& f, const Name& n) override                     { return system.createFolder (f, n); }
        platform::FileResult createFile (const Folder& f, const Name& n, platform::OpenFile& o) override { return system.createFile (f, n, o); }
        platform::FileResult write (platform::OpenFile& o, const void* d, size_t n) override             { return system.write (o, d, n); }
        platform::FileResult flush (platform::OpenFile&) override                                       { return {}; }
        platform::FileResult close (platform::OpenFile& o) override                                     { return system.close (o); }
        platform::FileResult move (const Folder& a, const Name& an, const Folder& b, const Name& bn) override { return system.move (a, an, b, bn); }
        platform::FileResult removeFile (const Folder& f, const Name& n) override                       { return system.removeFile (f, n); }
        platform::FileResult removeFolder (const Folder& f, const Name& n) override                     { return system.removeFolder (f, n); }
        platform::FileResult flushFolder (const Folder&) override                                       { return {}; }
        platform::EntryKind kindOf (const Folder& f, const Name& n) override                            { return system.kindOf (f, n); }
        std::vector<juce::String> namesIn (const Folder& f) override                                    { return system.namesIn (f); }
        juce::StringArray programsUsing (const Name& p) override                                       { return system.programsUsing (p); }
        void pause (int ms, const std::function<bool()>& stop) override                         { system.pause (ms, stop); }
    };

    using Work = std::function<void (const juce::File&)>;

    /** Median seconds of each piece of work. The runs take turns, so that drift
        in the machine's state (page cache, writeback) falls on all alike. */
    std::vector<double> medianSeconds (const juce::File& scratch, const std::vector<Work>& works)
    {
        std::vector<std::vector<double>> times (works.size());

        for (int i = 0; i < repetitions; ++i)
        {
            for (size_t w = 0; w < works.size(); ++w)
            {
                const auto target = scratch.getNonexistentChildFile ("run", {});
                target.createDirectory();
                const auto start = juce::Time::getMillisecondCounterHiRes();
                works[w] (target);
                times[w].push_back ((juce::Time::getMillisecondCounterHiRes() - start) / 1000.0);
                target.deleteRecursively();

                // Each run starts on a quiet disk: freeing what a durable run
                // wrote (discards, journal commits) would otherwise fall on
                // whichever run comes next.
                ::sync();
                juce::Thread::sleep (50);
            }
        }

        std::vector<double> medians;
        for (auto& t : times)
        {
            std::sort (t.begin(), t.end());
            medians.push_back (t[t.size() / 2]);
        }
        return medians;
    }

    long statusKilobytes (const char* field)
    {
        const auto status = juce::File ("/proc/self/status").loadFileAsString();
        for (const auto& line : juce::StringArray::fromLines (status))
            if (line.startsWith (field))
                return line.fromFirstOccurrenceOf (":", false, false).trim().getLargeIntValue();
        return -1;
    }

    /** Counts the bytes a reader takes from a file. */
    struct CountingStream : juce::FileInputStream
    {
        using juce::FileInputStream::FileInputStream;
        int read (void* destination, int size) override
        {
            const auto n = juce::FileInputStream::read (destination, size);
            bytesRead += (size_t) std::max (0, n);
            return n;
        }
        size_t bytesRead = 0;
    };
}

static int measureMemory (const juce::File& scratch)
{
    // The embedded archives are read-only pages of the program file, shared
    // and reclaimable; they are paged in first so that the figure is the
    // install's own memory.
    unsigned sum = 0;
    for (int format = 0; format < numFormats; ++format)
        for (int i = 0; i < archiveFor (format).size; i += 4096)
            sum += (unsigned char) archiveFor (format).data[i];

    const auto idle = statusKilobytes ("VmRSS");
    juce::File ("/proc/self/clear_refs").replaceWithText ("5");       // the peak starts again from here
    const auto target = scratch.getChildFile ("memory");

    for (int format = 0; format < numFormats; ++format)
        installFormat (target.getChildFile (formatNames[(size_t) format]), "Vantorix3", format, archiveFor (format));

    std::printf ("peak memory above the idle process during the install: %.2f MB (idle %.1f MB with the archives paged in%s)\n",
                 (double) (statusKilobytes ("VmHWM") - idle) / 1024.0, (double) idle / 1024.0, sum == 1 ? " " : "");
    target.deleteRecursively();
    return 0;
}

/** The window's run of all four formats, in this process: the message
    thread's part (the click, then every frame a look at the run and a paint)
    is timed, the rest happens on the run's thread. */
/** Keeping the product's entry and a copy of the manager after a run, against
    one durable copy of the same program made here with the system's copy. */
static void measureRegistration (const juce::File& scratch, const juce::File& installed)
{
    const auto program = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getSiblingFile ("tsr_installer");
    const auto home = scratch.getChildFile ("registration");
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    ::unsetenv ("XDG_DATA_HOME");

    const ProductRegistration::Product product { "Tessarine.Vantorix3", "Tessarine", "Vantorix3", "3.3.0", productPageUrl,
                                                 "mailto:support@tessarine.example", program };
    const std::array<juce::File, numFormats> folders { installed, installed, installed, installed };
    std::vector<double> kept, copied;

    for (int i = 0; i < repetitions; ++i)
    {
        home.deleteRecursively();
        home.createDirectory();
        ::sync();
        auto start = juce::Time::getMillisecondCounterHiRes();
        ProductRegistration::update (product, folders);
        kept.push_back (juce::Time::getMillisecondCounterHiRes() - start);

        ::sync();
        start = juce::Time::getMillisecondCounterHiRes();
        const auto copy = home.getChildFile ("copy");
        const auto from = ::open (program.getFullPathName().toRawUTF8(), O_RDONLY);
        const auto to = ::open (copy.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT, 0755);
        while (::copy_file_range (from, nullptr, to, nullptr, 8 << 20, 0) > 0) {}
        ::fdatasync (to);
        ::close (to);
        ::close (from);
        copied.push_back (juce::Time::getMillisecondCounterHiRes() - start);
    }

    std::sort (kept.begin(), kept.end());
    std::sort (copied.begin(), copied.end());
    const auto keptFolder = ProductRegistration::keptFolder (product);
    std::printf ("\nthe product's entry and kept manager after a run, median of %d: %.1f ms, against one durable copy of the "
                 "program (%.1f MB): %.1f ms; on disk %.1f MB\n",
                 repetitions, kept[kept.size() / 2], (double) program.getSize() / 1e6, copied[copied.size() / 2],
                 (double) (keptFolder.getChildFile ("tsr_installer").getSize()) / 1e6);
    home.deleteRecursively();
}

static void measureMessageThread (const juce::File& scratch)
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI gui;
    const auto home = scratch.getChildFile ("home");
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    ::unsetenv ("XDG_DATA_HOME");
    ::unsetenv ("VST_PATH");

    std::vector<double> longest, whole;
    juce::Image image (juce::Image::ARGB, 600, 600, true);

    for (int i = 0; i < repetitions; ++i)
    {
        home.deleteRecursively();
        home.createDirectory();
        ::sync();

        MainComponent main;
        const auto click = [&main] (const char* name)
        {
            for (auto* child : main.getChildren())
                if (child->getName() == name)
                    main.buttonClicked (dynamic_cast<juce::Button*> (child));
        };

        click ("SELECT_ALL");

        const auto timed = [] (const std::function<void()>& work)
        {
            const auto start = juce::Time::getMillisecondCounterHiRes();
            work();
            return juce::Time::getMillisecondCounterHiRes() - start;
        };

        const auto start = juce::Time::getMillisecondCounterHiRes();
        auto held = timed ([&] { click ("INSTALL"); });

        while (main.isRunning())
        {
            held = std::max (held, timed ([&] { main.showRunProgress(); juce::Graphics g (image); main.paintEntireComponent (g, true); }));
            juce::Thread::sleep (16);
        }

        whole.push_back (juce::Time::getMillisecondCounterHiRes() - start);
        longest.push_back (held);
    }

    std::sort (longest.begin(), longest.end());
    std::sort (whole.begin(), whole.end());
    std::printf ("\nthe window's run of all four, median of %d: the message thread held at most %.2f ms at a time "
                 "(worst run %.2f ms), while the run took %.1f ms on its own thread\n",
                 repetitions, longest[longest.size() / 2], longest.back(), whole[whole.size() / 2]);
    home.deleteRecursively();
}

int main (int argc, char** argv)
{
    if (argc == 3 && juce::String (argv[1]) == "--memory")
        return measureMemory (juce::File (argv[2]));

    if (argc == 2)
        repetitions = std::max (1, juce::String (argv[1]).getIntValue());

    const auto scratch = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tsr-bench", {});
    scratch.createDirectory();
    writeEmbeddedArchives (scratch);

    std::printf ("embedded archives:");
    for (int format = 0; format < numFormats; ++format)
        std::printf (" %.2f MB", (double) archiveFor (format).size / 1e6);
    std::printf ("\n\nall four formats, median of %d runs into a fresh folder\n", repetitions);

    const auto view = [] (int format) { return archiveFor (format); };

    UnflushedFileSystem unflushed;
    const auto medians = medianSeconds (scratch, {
        [&] (const juce::File& target)
        {
            for (int format = 0; format < numFormats; ++format)
                if (! installFormat (target.getChildFile (formatNames[(size_t) format]), "Vantorix3", format, view (format)).succeeded)
                    std::printf ("install failed\n");
        },
        [&] (const juce::File& target)
        {
            for (int format = 0; format < numFormats; ++format)
                if (! installFormat (target.getChildFile (formatNames[(size_t) format]), "Vantorix3", format, view (format), unflushed).succeeded)
                    std::printf ("install failed\n");
        },
        [&] (const juce::File& target)
        {
            for (int format = 0; format < numFormats; ++format)
            {
                juce::MemoryInputStream in (archiveFor (format).data, (size_t) archiveFor (format).size, false);
                juce::ZipFile zip (in);
                zip.uncompressTo (target.getChildFile (formatNames[(size_t) format]), true);
            }
        },
        [&] (const juce::File&)
        {
            std::unique_ptr<libdeflate_decompressor, void (*) (libdeflate_decompressor*)>
                decompressor (libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
            std::vector<uint8_t> out;

            for (int format = 0; format < numFormats; ++format)
            {
                const auto archive = archiveFor (format);
                for (const auto& entry : ZipDirectory::read (archive.data, (size_t) archive.size))
                {
                    out.resize (std::max (out.size(), (size_t) entry.size));
                    const auto* packed = ZipDirectory::packedBytesOf (archive.data, (size_t) archive.size, entry);
                    if (entry.method == ZipDirectory::stored)
                        std::memcpy (out.data(), packed, (size_t) entry.size);
                    else if (libdeflate_deflate_decompress (decompressor.get(), packed, (size_t) entry.packedSize, out.data(),
                                                            (size_t) entry.size, nullptr) != LIBDEFLATE_SUCCESS)
                        std::printf ("inflate failed\n");
                }
            }
        },
        [&] (const juce::File& target)
        {
            for (auto* name : archiveNames)
            {
                juce::ChildProcess process;
                process.start (juce::StringArray { "unzip", "-o", "-qq", scratch.getChildFile (name).getFullPathName(),
                                                   "-d", target.getChildFile (name).getFullPathName() });
                process.waitForProcessToFinish (60000);
            }
        } });
    const auto ours = medians[0], oursUnflushed = medians[1], floor = medians[2], bare = medians[3], unzip = medians[4];

    std::printf ("  installFormat, durable (flushed before and after the swap) %7.1f ms   /old floor %.3f   /libdeflate %.2f\n",
                 ours * 1000, ours / floor, ours / bare);
    std::printf ("  installFormat without the flushes                          %7.1f ms   /old floor %.3f   /libdeflate %.2f\n",
                 oursUnflushed * 1000, oursUnflushed / floor, oursUnflushed / bare);
    std::printf ("  ZipFile::uncompressTo (the old zlib floor, nothing flushed) %6.1f ms\n", floor * 1000);
    std::printf ("  libdeflate alone, every entry into memory (the new floor)  %7.1f ms   on one thread; the install's\n"
                 "                                                                        segments on up to %u here\n",
                 bare * 1000, (unsigned) std::clamp<size_t> (std::thread::hardware_concurrency(), 1, SegmentInflater::maxThreads));
    std::printf ("  unzip -o (nothing flushed)                                 %7.1f ms   ours/unzip %.3f\n", unzip * 1000, ours / unzip);

    // Peak memory of one install of all four, in a fresh process that holds
    // the archives as the program holds its embedded ones.
    {
        juce::ChildProcess child;
        child.start (juce::StringArray { juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName(),
                                         "--memory", scratch.getFullPathName() });
        std::printf ("\n%s", child.readAllProcessOutput().toRawUTF8());
    }

    // Detection of all four formats, as every paint of the main screen runs it.
    const auto installed = scratch.getChildFile ("installed");
    for (int format = 0; format < numFormats; ++format)
        installFormat (installed, "Vantorix3", format, view (format));

    constexpr int paints = 20000;
    const auto start = juce::Time::getMillisecondCounterHiRes();
    for (int paint = 0; paint < paints; ++paint)
        for (int format = 0; format < numFormats; ++format)
            detectInstallState (installed, "Vantorix3", "3.3.0", format);
    const auto perCall = (juce::Time::getMillisecondCounterHiRes() - start) * 1000.0 / (paints * numFormats);

    // What one look at each binary reads, counted on a stream of the same file.
    size_t bytesRead = 0;
    int versionReads = 0;
    const VersionReader counting = [&] (const platform::Folder& folder, const juce::String& name)
    {
        CountingStream stream (folder.getPath().getChildFile (name));
        ++versionReads;
        const auto version = stream.openedOk() ? peFileVersion (stream) : juce::String();
        bytesRead += stream.bytesRead;
        return version;
    };

    for (int format = 0; format < numFormats; ++format)
        detectInstallState (installed, "Vantorix3", "3.3.0", format, counting);

    const auto binary = versionSourceFor (pluginItemFor (installed, "Vantorix3", vst3Format), "Vantorix3", vst3Format);
    std::printf ("\ndetection, warm: %.1f us per format, %.0f bytes read per version read (binaries of %.1f MB)\n",
                 perCall, (double) bytesRead / versionReads, (double) binary.getSize() / 1e6);

    measureRegistration (scratch, installed);
    measureMessageThread (scratch);

    scratch.deleteRecursively();
    return 0;
}
