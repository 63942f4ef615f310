#include "LinkPlanting.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <unistd.h>
#endif

namespace LinkPlanting
{
   #if JUCE_WINDOWS
    namespace
    {
        using UnixName = char* (CDECL*) (LPCWSTR);

        UnixName unixNameFunction()
        {
            return reinterpret_cast<UnixName> (reinterpret_cast<void*> (
                GetProcAddress (GetModuleHandleW (L"kernel32.dll"), "wine_get_unix_file_name")));
        }
    }

    bool canPlantLinks()
    {
        return unixNameFunction() != nullptr;
    }

    bool renamesGoByPath()
    {
        return unixNameFunction() != nullptr;
    }

    juce::String hostPath (const juce::File& file)
    {
        auto* convert = unixNameFunction();
        if (convert == nullptr)
            return {};

        // The parent is converted and the name appended, so that a name which
        // does not exist yet, or is a dangling link, still converts.
        char* parent = convert (file.getParentDirectory().getFullPathName().toWideCharPointer());
        if (parent == nullptr)
            return {};

        const juce::String result = juce::String::fromUTF8 (parent) + "/" + file.getFileName();
        HeapFree (GetProcessHeap(), 0, parent);
        return result;
    }

    int runHostShell (const juce::String& command)
    {
        // Wine starts a Linux program named by its Linux path as a Linux
        // process, but never learns when it ends: the command leaves its exit
        // code in a file, and that is waited for.
        const auto marker = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("host-shell", ".code");
        const auto markerPath = hostPath (marker);
        if (markerPath.isEmpty())
            return -1;

        juce::ChildProcess shell;
        if (! shell.start (juce::StringArray { "/bin/sh", "-c", "(" + command + "); echo $? > '" + markerPath + ".part' && mv '"
                                               + markerPath + ".part' '" + markerPath + "'" }, 0))
            return -1;

        for (int i = 0; i < 30000 && ! marker.existsAsFile(); ++i)
            Sleep (1);

        const auto code = marker.existsAsFile() ? marker.loadFileAsString().trim().getIntValue() : -1;
        marker.deleteFile();
        return code;
    }
   #else
    bool canPlantLinks()                            { return true; }
    bool renamesGoByPath()                          { return false; }
    juce::String hostPath (const juce::File& file)  { return file.getFullPathName(); }

    int runHostShell (const juce::String& command)
    {
        juce::ChildProcess shell;
        if (! shell.start (juce::StringArray { "/bin/sh", "-c", command }, 0))
            return -1;

        shell.waitForProcessToFinish (30000);
        return (int) shell.getExitCode();
    }
   #endif

    bool swapForLink (const juce::File& link, const juce::File& target)
    {
       #if ! JUCE_WINDOWS
        // In-process, so that the swap lands exactly between two calls.
        const auto path = link.getFullPathName();
        if (juce::File (path).exists())
            if (::rename (path.toRawUTF8(), (path + ".moved").toRawUTF8()) != 0)
                return false;

        return ::symlink (target.getFullPathName().toRawUTF8(), path.toRawUTF8()) == 0;
       #else
        const auto quote = [] (const juce::String& s) { return "'" + s.replace ("'", "'\\''") + "'"; };
        const auto from = hostPath (link), to = hostPath (target);
        if (from.isEmpty() || to.isEmpty())
            return false;

        return runHostShell ("if [ -e " + quote (from) + " ] || [ -L " + quote (from) + " ]; then mv " + quote (from) + " "
                             + quote (from + ".moved") + " || exit 1; fi; ln -s " + quote (to) + " " + quote (from)) == 0;
       #endif
    }
}
