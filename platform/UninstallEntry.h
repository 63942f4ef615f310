#pragma once

#include <juce_core/juce_core.h>
#include <map>

/** What tells the system a product is installed, and how to remove it: on
    Windows the key of the product under
    HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall (the 64-bit view),
    which Apps & features, winget and deployment tools read. Elsewhere the same
    values are kept in a small file of the user's data folder, so that the
    program does and tests the same there. */
namespace platform
{
    struct UninstallEntry
    {
        std::map<juce::String, juce::String> text;          /**< string values by name */
        std::map<juce::String, juce::uint32> numbers;       /**< DWORD values by name */
    };

    /** Writes the entry of the product code, in place of any before it. */
    bool writeUninstallEntry (const juce::String& productCode, const UninstallEntry&);

    /** One string value of the product's entry; "" when it or the entry is missing. */
    juce::String uninstallEntryValue (const juce::String& productCode, const juce::String& name);

    bool hasUninstallEntry (const juce::String& productCode);

    /** Removes the product's entry; true when none is left. */
    bool removeUninstallEntry (const juce::String& productCode);

    /** Where programs are installed for the whole machine: %ProgramFiles%
        (only administrators may write there); on Linux ~/.local/lib. */
    juce::File programsFolder();

    /** The program file this process runs. */
    juce::File runningProgram();

    enum class Removal { done, atRestart, refused };

    /** Removes the program file of this very process, then its folder when
        that is left empty: at once where the system allows (Linux), else at
        the next restart, which the system records (Windows). */
    Removal removeRunningProgram (const juce::File& program);
}
