#pragma once

#include "FormatCatalogue.h"
#include "../platform/FileSystem.h"

/** Why a format failed, in the kinds a user or a deployment tool acts on. */
enum class FailureKind
{
    none,
    busy,           /**< another installer is working in the folder */
    inUse,          /**< a program holds a file */
    diskFull,
    accessDenied,
    damaged,        /**< the installer's own copy is damaged */
    stopped,        /**< the run was stopped before this format was put in place */
    other
};

/** What became of one format in an install or uninstall run. */
struct FormatOutcome
{
    bool processed = false;
    bool succeeded = true;
    juce::String reason;        /**< plain words for the finished screen, empty on success */
    juce::String detail;        /**< the path and the system's message behind the reason */
    FailureKind kind = FailureKind::none;
    juce::String note;          /**< what was done instead, when a succeeded format was left as it was */
};

using InstallOutcomes = std::array<FormatOutcome, numFormats>;

/** The reasons a format can fail, as the finished screen words them. */
namespace InstallFailure
{
    inline constexpr const char* noFolder       = "no install folder set";
    inline constexpr const char* folderIsFile   = "the install folder is a file";
    inline constexpr const char* damagedArchive = "the installer's copy is damaged";
    inline constexpr const char* busy           = "another installer is working in this folder";
    inline constexpr const char* stopped        = "stopped before it was put in place";

    /** Not a failure: what an uninstall says of a format that was not there. */
    inline constexpr const char* nothingToRemove = "nothing to remove";

    /** What the engine was doing when the system refused. */
    enum class Step
    {
        createFolder,   /**< making the install folder */
        write,          /**< writing the new copy beside the item */
        replace,        /**< setting the old item aside or moving the new one in */
        remove          /**< removing the item */
    };

    /** Plain words for a refusal: the step, and the system's kind of error, so
        that a user is told to close a program only when a file is in use, and
        which programs hold it when the system can say. */
    juce::String reasonFor (Step, platform::FileError, const juce::StringArray& holders = {});
}

/** The outcomes the engine hands back, made one way. */
namespace Outcome
{
    FormatOutcome done();
    FormatOutcome nothingToRemove();
    FormatOutcome failure (const juce::String& reason, FailureKind, const juce::String& detail = {});

    /** A refusal of the system's, in plain words, naming who holds a file in use. */
    FormatOutcome refusal (platform::FileSystem&, InstallFailure::Step, const platform::FileResult&);

    FormatOutcome damaged();
    FormatOutcome stopped();
}
