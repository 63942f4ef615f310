#include "FormatCatalogue.h"
#include "../platform/Platform.h"

juce::String productDisplayName (const juce::String& literal)
{
    return literal.replace ("_", " ");
}

// The archives, pulled in whole by an assembler file that the build generates
// (cmake/EmbeddedArchives.cmake): each is its bytes between two symbols.
extern "C"
{
    extern const char tsr_archive_vst3[], tsr_archive_vst3_end[];
    extern const char tsr_archive_vst2[], tsr_archive_vst2_end[];
    extern const char tsr_archive_clap[], tsr_archive_clap_end[];
    extern const char tsr_archive_aax[],  tsr_archive_aax_end[];
}

EmbeddedData archiveFor (int format)
{
    const auto between = [] (const char* begin, const char* end) { return EmbeddedData { begin, (int) (end - begin) }; };

    switch (format)
    {
        case vst3Format: return between (tsr_archive_vst3, tsr_archive_vst3_end);
        case vst2Format: return between (tsr_archive_vst2, tsr_archive_vst2_end);
        case clapFormat: return between (tsr_archive_clap, tsr_archive_clap_end);
        case aaxFormat:  return between (tsr_archive_aax,  tsr_archive_aax_end);
        default:         return {};
    }
}

bool isUsableInstallFolder (const juce::File& folder)
{
    // An empty File's child resolves to the root of the file system, so an
    // unset folder must never reach getChildFile.
    return folder != juce::File() && platform::isAbsoluteFolderPath (folder.getFullPathName());
}

juce::File pluginItemFor (const juce::File& installFolder, const juce::String& productName, int format)
{
    if (! isUsableInstallFolder (installFolder) || productName.isEmpty()
         || format < 0 || format >= numFormats)
        return {};

    return installFolder.getChildFile (productName + itemExtensions[(size_t) format]);
}

bool isPluginItemPresent (const juce::File& item)
{
    return item != juce::File() && item.exists();
}
