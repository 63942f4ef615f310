#pragma once

#include "FormatCatalogue.h"

/** What became of one format in an install or uninstall run. */
struct FormatOutcome
{
    bool processed = false;
    bool succeeded = true;
    juce::String reason;        // plain words, empty on success
};

using InstallOutcomes = std::array<FormatOutcome, numFormats>;

/** Puts a format's plug-in item into its install folder from the archive, or
    replaces the one there, without ever leaving the user with less than before.

    The whole archive is first extracted into a staging folder beside the item
    (same volume) and checked entry by entry against its recorded sizes and
    checksums. Only then is the old item moved aside, the new one moved into
    place and the old one deleted. If any step fails, the old item is put back
    and the staging folder removed: the disk is as it was. */
FormatOutcome installFormat (const juce::File& installFolder, const juce::String& productName,
                             int format, const EmbeddedData& archive);

/** Removes a format's plug-in item, reporting a failure when it is still there. */
FormatOutcome uninstallFormat (const juce::File& installFolder, const juce::String& productName, int format);

/** The reasons a format can fail, as the finished screen words them. */
namespace InstallFailure
{
    inline constexpr const char* noFolder       = "no install folder set";
    inline constexpr const char* folderIsFile   = "the install folder is a file";
    inline constexpr const char* cannotCreate   = "could not create the install folder";
    inline constexpr const char* cannotWrite    = "could not write to the install folder";
    inline constexpr const char* damagedArchive = "the installer's copy is damaged";
    inline constexpr const char* inUse          = "could not replace the installed copy, a file is in use";
    inline constexpr const char* cannotRemove   = "could not remove the installed copy, a file is in use";
}
