// Measures the install engine against baselines run in the same process:
//   - installing all four formats (staging, checks, flushes and swap included),
//     and the same without any flush, against `unzip -o` of the same archives
//     and a plain ZipFile::uncompressTo of them (the zlib floor), each into a
//     fresh folder; neither baseline flushes anything;
//   - the memory the install takes above the idle process;
//   - install-state detection of all four formats as one paint does it.
// Prints its figures; it asserts nothing.

#include "../install/Installer.h"
#include "../install/InstallDetection.h"
#include "../install/PeFileVersion.h"
#include <algorithm>
#include <random>
#include <unistd.h>

namespace
{
    std::string readFile (const juce::File& file);
    int repetitions = 9;     // the first argument sets another count
    constexpr size_t binarySize = 16 * 1024 * 1024;   // deflates to about 8.8 MB, like the shipped archives

    /** Bytes that compress about as well as a plug-in binary: runs of code-like
        repetition between stretches of noise. */
    std::string binaryLikeContent (uint32_t seed)
    {
        std::mt19937 random (seed);
        std::string bytes;
        bytes.reserve (binarySize);

        while (bytes.size() < binarySize)
        {
            if (random() % 3 == 0)
            {
                const auto start = bytes.size() > 4096 ? bytes.size() - 4096 + random() % 2048 : 0;
                const auto length = std::min<size_t> (64 + random() % 512, bytes.size() - start);
                bytes.append (bytes, start, length);
            }
            else
            {
                for (int i = 0; i < 256; ++i)
                    bytes.push_back ((char) (random() % 64 + (random() % 4 == 0 ? 128 : 0)));
            }
        }

        bytes.resize (binarySize);
        return bytes;
    }

    /** A PE image of the project's generator whose code section is filled
        with binary-like content, so that detection finds a real version
        resource behind megabytes of code, as in a shipped plug-in. */
    std::string pluginBinary (uint32_t seed, const juce::File& scratch)
    {
        const auto image = scratch.getNonexistentChildFile ("image", ".dll");
        juce::ChildProcess generator;
        generator.start (juce::StringArray { "python3", TSR_SOURCE_DIR "/tools/pe_stub.py", image.getFullPathName(),
                                             "--version", "3.3.0.0", "--text-size", juce::String (binarySize) });
        generator.waitForProcessToFinish (60000);

        auto bytes = readFile (image);
        const auto code = binaryLikeContent (seed);
        bytes.replace (0x200, code.size(), code);     // the code section follows the 0x200 bytes of headers
        image.deleteFile();
        return bytes;
    }

    /** Archives of the shipped layout, written to disk for unzip and kept in
        memory as the program keeps its embedded ones. */
    std::vector<juce::MemoryBlock> makeArchives (const juce::File& folder)
    {
        const char* layouts[numFormats][4] = {
            { "Vantorix3.vst3/Contents/Resources/moduleinfo.json", "Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3" },
            { "Vantorix3.dll" },
            { "Vantorix3.clap" },
            { "Vantorix3.aaxplugin/desktop.ini", "Vantorix3.aaxplugin/Plugin.ico", "Vantorix3.aaxplugin/Contents/x64/Vantorix3.aaxplugin" },
        };
        const char* names[numFormats] = { "vst3.zip", "vst.zip", "clap.zip", "aax.zip" };
        std::vector<juce::MemoryBlock> archives;

        for (int format = 0; format < numFormats; ++format)
        {
            const auto sources = folder.getChildFile ("sources").getChildFile (names[format]);
            juce::ZipFile::Builder builder;

            for (auto* entry : layouts[format])
            {
                if (entry == nullptr)
                    break;

                const auto file = sources.getChildFile (entry);
                file.getParentDirectory().createDirectory();
                const bool isBinary = juce::String (entry).endsWith (juce::String (itemExtensions[(size_t) format]));
                const auto content = isBinary ? pluginBinary ((uint32_t) format + 1, folder) : std::string (2048, 'x');
                file.replaceWithData (content.data(), content.size());
                builder.addFile (file, 6, entry);
            }

            juce::MemoryOutputStream out;
            builder.writeToStream (out, nullptr);
            archives.push_back (out.getMemoryBlock());
            folder.getChildFile (names[format]).replaceWithData (archives.back().getData(), archives.back().getSize());
        }

        return archives;
    }

    std::string readFile (const juce::File& file)
    {
        juce::MemoryBlock block;
        file.loadFileAsData (block);
        return std::string (static_cast<const char*> (block.getData()), block.getSize());
    }

    /** The system's file calls with every flush left out, the ones started in
        the background while a file is written too: the engine's cost without
        its durability. */
    struct UnflushedFileSystem final : platform::FileSystem
    {
        platform::FileSystem& system = platform::systemFileSystem();

        platform::FileResult createFolder (const juce::File& f) override                        { return system.createFolder (f); }
        platform::FileResult createFile (const juce::File& f, platform::OpenFile& o) override   { return system.createFile (f, o); }
        platform::FileResult write (platform::OpenFile& o, const void* d, size_t n) override
        {
            return ::write ((int) o.handle, d, n) == (ssize_t) n ? platform::FileResult {} : platform::fileResultFor (errno, o.path);
        }
        platform::FileResult flush (platform::OpenFile&) override                               { return {}; }
        platform::FileResult close (platform::OpenFile& o) override                             { return system.close (o); }
        platform::FileResult move (const juce::File& a, const juce::File& b) override           { return system.move (a, b); }
        platform::FileResult removeFile (const juce::File& f) override                          { return system.removeFile (f); }
        platform::FileResult removeFolder (const juce::File& f) override                        { return system.removeFolder (f); }
        platform::FileResult flushFolder (const juce::File&) override                           { return {}; }
        platform::EntryKind kindOf (const juce::File& f) override                               { return system.kindOf (f); }
        std::vector<juce::String> namesIn (const juce::File& f) override                        { return system.namesIn (f); }
        void pause (int ms) override                                                            { system.pause (ms); }
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
    std::vector<juce::MemoryBlock> archives;
    for (auto* name : { "vst3.zip", "vst.zip", "clap.zip", "aax.zip" })
    {
        archives.emplace_back();
        scratch.getChildFile (name).loadFileAsData (archives.back());
    }

    const auto idle = statusKilobytes ("VmRSS");
    juce::File ("/proc/self/clear_refs").replaceWithText ("5");       // the peak starts again from here
    const auto target = scratch.getChildFile ("memory");

    for (int format = 0; format < numFormats; ++format)
        installFormat (target.getChildFile (formatNames[(size_t) format]), "Vantorix3", format,
                       { static_cast<const char*> (archives[(size_t) format].getData()), (int) archives[(size_t) format].getSize() });

    std::printf ("peak memory above the idle process during the install: %.2f MB (idle %.1f MB, archives included)\n",
                 (double) (statusKilobytes ("VmHWM") - idle) / 1024.0, (double) idle / 1024.0);
    target.deleteRecursively();
    return 0;
}

int main (int argc, char** argv)
{
    if (argc == 3 && juce::String (argv[1]) == "--memory")
        return measureMemory (juce::File (argv[2]));

    if (argc == 2)
        repetitions = std::max (1, juce::String (argv[1]).getIntValue());

    const auto scratch = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tsr-bench", {});
    scratch.createDirectory();
    const auto archives = makeArchives (scratch);

    std::printf ("archives:");
    for (auto& a : archives)
        std::printf (" %.2f MB", (double) a.getSize() / 1e6);
    std::printf ("\n\nall four formats, median of %d runs into a fresh folder\n", repetitions);

    const auto view = [&archives] (int format)
    {
        return EmbeddedData { static_cast<const char*> (archives[(size_t) format].getData()), (int) archives[(size_t) format].getSize() };
    };

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
                juce::MemoryInputStream in (archives[(size_t) format], false);
                juce::ZipFile zip (in);
                zip.uncompressTo (target.getChildFile (formatNames[(size_t) format]), true);
            }
        },
        [&] (const juce::File& target)
        {
            for (auto* name : { "vst3.zip", "vst.zip", "clap.zip", "aax.zip" })
            {
                juce::ChildProcess process;
                process.start (juce::StringArray { "unzip", "-o", "-qq", scratch.getChildFile (name).getFullPathName(),
                                                   "-d", target.getChildFile (name).getFullPathName() });
                process.waitForProcessToFinish (60000);
            }
        } });
    const auto ours = medians[0], oursUnflushed = medians[1], floor = medians[2], unzip = medians[3];

    std::printf ("  installFormat, durable (flushed before and after the swap) %7.1f ms   /floor %.3f\n", ours * 1000, ours / floor);
    std::printf ("  installFormat without the flushes                          %7.1f ms   /floor %.3f\n", oursUnflushed * 1000, oursUnflushed / floor);
    std::printf ("  ZipFile::uncompressTo (the zlib floor, nothing flushed)    %7.1f ms\n", floor * 1000);
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

    size_t bytesRead = 0;
    int versionReads = 0;
    const VersionReader counting = [&] (const juce::File& binary)
    {
        CountingStream stream (binary);
        ++versionReads;
        const auto version = stream.openedOk() ? peFileVersion (stream) : juce::String();
        bytesRead += stream.bytesRead;
        return version;
    };

    constexpr int paints = 20000;
    const auto start = juce::Time::getMillisecondCounterHiRes();
    for (int paint = 0; paint < paints; ++paint)
        for (int format = 0; format < numFormats; ++format)
            detectInstallState (installed, "Vantorix3", "3.3.0", format, counting);
    const auto perCall = (juce::Time::getMillisecondCounterHiRes() - start) * 1000.0 / (paints * numFormats);

    std::printf ("\ndetection, warm: %.1f us per format, %.0f bytes read per version read (binaries of %.1f MB)\n",
                 perCall, (double) bytesRead / versionReads, (double) binarySize / 1e6);

    scratch.deleteRecursively();
    return 0;
}
