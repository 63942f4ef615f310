#include "Outcome.h"

using platform::FileError;
using Step = InstallFailure::Step;

juce::String InstallFailure::reasonFor (Step step, FileError error, const juce::StringArray& holders)
{
    if (error == FileError::diskFull)
        return "the disk is full";

    const auto action = [step]
    {
        switch (step)
        {
            case Step::createFolder:  return "create the install folder";
            case Step::write:         return "write to the install folder";
            case Step::replace:       return "replace the installed copy";
            case Step::remove:        return "remove the installed copy";
        }
        return "";
    }();

    if (error == FileError::accessDenied)
        return juce::String ("no permission to ") + action;

    // Nothing is open in a folder that does not exist yet.
    if (error == FileError::inUse && step != Step::createFolder)
        return juce::String ("could not ") + action + ", a file is in use"
                + (holders.isEmpty() ? juce::String() : " by " + holders.joinIntoString (", "));

    return juce::String ("could not ") + action;
}

namespace Outcome
{
    FormatOutcome done()             { return { true, true, {}, {}, FailureKind::none, {} }; }
    FormatOutcome nothingToRemove()  { return { true, true, {}, {}, FailureKind::none, InstallFailure::nothingToRemove }; }

    FormatOutcome failure (const juce::String& reason, FailureKind kind, const juce::String& detail)
    {
        return { true, false, reason, detail, kind, {} };
    }

    FormatOutcome refusal (platform::FileSystem& fs, Step step, const platform::FileResult& result)
    {
        const auto kind = [&result]
        {
            switch (result.error)
            {
                case FileError::accessDenied:  return FailureKind::accessDenied;
                case FileError::inUse:         return FailureKind::inUse;
                case FileError::diskFull:      return FailureKind::diskFull;
                case FileError::none:
                case FileError::alreadyExists:
                case FileError::missing:
                case FileError::other:         break;
            }

            return FailureKind::other;
        }();

        const auto holders = result.error == FileError::inUse ? fs.programsUsing (result.path) : juce::StringArray();
        return failure (InstallFailure::reasonFor (step, result.error, holders), kind, result.path + ": " + result.message);
    }

    FormatOutcome damaged()  { return failure (InstallFailure::damagedArchive, FailureKind::damaged); }
    FormatOutcome stopped()  { return failure (InstallFailure::stopped, FailureKind::stopped); }
}
