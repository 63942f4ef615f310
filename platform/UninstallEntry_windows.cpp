#include "UninstallEntry.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <shlobj.h>

namespace platform
{
    namespace
    {
        juce::String keyOf (const juce::String& productCode)
        {
            return "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
        }

        constexpr auto view = juce::WindowsRegistry::WoW64_64bit;
    }

    bool writeUninstallEntry (const juce::String& productCode, const UninstallEntry& entry)
    {
        // Values of an earlier version that this one no longer writes go too.
        std::ignore = juce::WindowsRegistry::deleteKey (keyOf (productCode), view);
        bool written = true;

        for (const auto& [name, value] : entry.text)
            written = juce::WindowsRegistry::setValue (keyOf (productCode) + "\\" + name, value, view) && written;

        for (const auto& [name, value] : entry.numbers)
            written = juce::WindowsRegistry::setValue (keyOf (productCode) + "\\" + name, value, view) && written;

        return written;
    }

    juce::String uninstallEntryValue (const juce::String& productCode, const juce::String& name)
    {
        return juce::WindowsRegistry::getValue (keyOf (productCode) + "\\" + name, {}, view);
    }

    bool hasUninstallEntry (const juce::String& productCode)
    {
        return juce::WindowsRegistry::keyExists (keyOf (productCode), view);
    }

    bool removeUninstallEntry (const juce::String& productCode)
    {
        std::ignore = juce::WindowsRegistry::deleteKey (keyOf (productCode), view);
        return ! hasUninstallEntry (productCode);
    }

    juce::File programsFolder()
    {
        PWSTR path = nullptr;
        if (FAILED (SHGetKnownFolderPath (FOLDERID_ProgramFiles, 0, nullptr, &path)))
            return {};

        const juce::File folder ((juce::String (path)));
        CoTaskMemFree (path);
        return folder;
    }

    juce::File runningProgram()
    {
        return juce::File::getSpecialLocation (juce::File::currentExecutableFile);
    }

    Removal removeRunningProgram (const juce::File& program)
    {
        // A running program's file cannot go while it runs; the system removes
        // it, then its folder (empty by then), as it next starts.
        const auto file = program.getFullPathName(), folder = program.getParentDirectory().getFullPathName();
        if (! MoveFileExW (file.toWideCharPointer(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            return Removal::refused;

        std::ignore = MoveFileExW (folder.toWideCharPointer(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return Removal::atRestart;
    }
}

#endif
