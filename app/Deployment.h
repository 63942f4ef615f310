#pragma once

#include "CommandLine.h"
#include "ExitCodes.h"
#include "../install/InstallRun.h"
#include <mutex>

/** Running the program from a deployment tool: the folders the command line
    names, the log, and the exit code. The run itself is the window's. */
namespace Deployment
{
    /** 0 when every chosen format is installed, kept newer, or removed;
        otherwise the first format in catalogue order that was not decides:
        one the run was stopped before (or during) gives "cancelled". */
    ExitCode exitCodeFor (const InstallOutcomes&, const std::array<bool, numFormats>& chosen);

    class RunLog;

    /** The command line's folders in place of the ones in use. */
    std::array<juce::File, numFormats> withChosenFolders (const CommandLine&, std::array<juce::File, numFormats> folders);

    /** Keeps each folder the command line chose in the shared settings file,
        as the settings panel keeps a choice, once the run has installed into
        it: a failed, stopped or removing run keeps nothing, so that a typo can
        never change what later runs use. One that cannot be kept was still
        used; the log and the console say why it was not kept. */
    void keepChosenFolders (const CommandLine&, const juce::File& settingsFolder, const InstallRun&, RunLog&);

    /** The product as its uninstall entry names it, and this program as the
        manager to keep for it. */
    ProductRegistration::Product thisProduct();

    /** The log of a run: UTF-8, the system's line ends, each line handed to
        the system as soon as it is written, so a killed process leaves what
        happened so far. Only opened when the command line asks for it.

        The file is always a new one, made in its folder as that folder was
        opened, never through a link and never in place of anything: a name
        that is taken (a file, a folder or a link someone put there first)
        gives the next free name, "-2.log" and so on, and the console is told
        which. The temporary folder of an unattended run is one that others
        may create names in. */
    class RunLog
    {
    public:
        explicit RunLog (const CommandLine&);
        ~RunLog();

        /** True when a log was asked for and made. */
        [[nodiscard]] bool isOpen() const noexcept   { return out.isOpen(); }
        [[nodiscard]] juce::File getFile() const     { return file; }

        /** Why the log asked for could not be made, in one line; empty when it
            was, or when none was asked for. */
        [[nodiscard]] const juce::String& getProblem() const noexcept  { return problem; }

        /** Writes a line; from any thread. */
        void write (const juce::String& line);

        /** Writes that the settings file found was not believed, and why. */
        void distrustedSettings (const juce::String& why);

        /** Writes what each chosen format of a run about to start holds and
            what is done to it; the observer it gives writes how each ends and
            how long it took. The log must outlive the run. */
        InstallRun::Observer observe (const InstallRun::Request&);

        void finish (ExitCode);

    private:
        juce::File file;
        juce::String problem;
        platform::Folder folder;
        platform::OpenFile out;
        std::mutex lock;
        std::array<double, numFormats> started {};
        std::array<juce::String, numFormats> waitedFor;

        JUCE_DECLARE_NON_COPYABLE (RunLog)
    };

    /** Carries the command line out with no window: reads the settings,
        applies its folders, runs, writes the log (when it is open); the exit
        code. */
    ExitCode runWithoutWindow (const CommandLine&, RunLog&);

    /** Says why a command line cannot be carried out, on the console the
        program was started from and in the log when it asks for one. */
    ExitCode refuse (const CommandLine&);

    /** Says that the log asked for cannot be made, on the console; nothing
        is done without the log a deployment tool asked for. */
    ExitCode refuse (const RunLog&);
}
