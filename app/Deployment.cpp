#include "Deployment.h"
#include "../install/FileTree.h"
#include "../install/InstallDetection.h"
#include "../install/SettingsFile.h"
#include "../panels/panel_support.h"
#include "../platform/Platform.h"
#include "../platform/UninstallEntry.h"
#include <Identity.h>

namespace Deployment
{
    ExitCode exitCodeFor (const InstallOutcomes& outcomes, const std::array<bool, numFormats>& chosen)
    {
        for (size_t format = 0; format < outcomes.size(); ++format)
        {
            const auto& outcome = outcomes[format];

            if (chosen[format] && ! outcome.processed)
                return ExitCode::cancelled;

            if (! outcome.processed || outcome.succeeded)
                continue;

            switch (outcome.kind)
            {
                case FailureKind::busy:          return ExitCode::busy;
                case FailureKind::inUse:         return ExitCode::fileInUse;
                case FailureKind::diskFull:      return ExitCode::diskFull;
                case FailureKind::accessDenied:  return ExitCode::accessDenied;
                case FailureKind::damaged:       return ExitCode::damaged;
                case FailureKind::stopped:       return ExitCode::cancelled;
                case FailureKind::none:
                case FailureKind::other:         return ExitCode::failed;
            }
        }

        return ExitCode::success;
    }

    std::array<juce::File, numFormats> withChosenFolders (const CommandLine& options, std::array<juce::File, numFormats> folders)
    {
        for (size_t i = 0; i < folders.size(); ++i)
            if (options.folders[i].isNotEmpty())
                folders[i] = SettingsFile::installFolderFromSetting (options.folders[i]);

        return folders;
    }

    void keepChosenFolders (const CommandLine& options, const juce::File& settingsFolder, const InstallRun& run, RunLog& log)
    {
        const auto& request = run.getRequest();
        const auto outcomes = run.status().outcomes;

        for (size_t i = 0; i < options.folders.size(); ++i)
        {
            const auto& outcome = outcomes[i];
            if (options.folders[i].isEmpty() || request.uninstall || ! outcome.processed || ! outcome.succeeded || outcome.note.isNotEmpty())
                continue;

            if (const auto kept = SettingsFile::writeFolderSetting (settingsFolder, settingsAttributes[i], options.folders[i], request.folders); ! kept)
            {
                const auto line = juce::String (formatNames[i]) + ": " + options.folders[i] + " was used for this run, but not kept in the settings: " + kept.why;
                log.write (line);
                std::ignore = platform::printToConsole (line + "\n", true);
            }
        }
    }

    ProductRegistration::Product thisProduct()
    {
        return { identity::productCode, identity::maker, productDisplayName (identity::productNameLiteral), identity::productVersion,
                 productPageUrl, juce::String ("mailto:") + SupportContacts::supportAddress, platform::runningProgram() };
    }

    //==============================================================================
    namespace
    {
        juce::String seconds (double milliseconds)
        {
            return juce::String (milliseconds / 1000.0, 2) + " s";
        }
    }

    RunLog::RunLog (const CommandLine& options)
    {
        if (! options.log)
            return;

        const auto asked = options.logFile != juce::File()
                             ? options.logFile
                             : platform::temporaryFolder().getChildFile (juce::String (identity::applicationName) + "-"
                                                                         + juce::Time::getCurrentTime().formatted ("%Y-%m-%d_%H-%M-%S") + ".log");
        auto& fs = platform::systemFileSystem();

        if (auto opened = FileTree::openMakingMissing (fs, asked.getParentDirectory(), folder); ! opened.ok())
        {
            problem = "the log cannot be made in " + asked.getParentDirectory().getFullPathName() + ": " + opened.message;
            return;
        }

        // A name someone else may have taken first is never removed or
        // written through: the next free one is used instead.
        constexpr int namesTried = 100;
        platform::FileResult created;

        for (int n = 1; n <= namesTried; ++n)
        {
            const auto name = n == 1 ? asked.getFileName()
                                     : asked.getFileNameWithoutExtension() + "-" + juce::String (n) + asked.getFileExtension();
            created = fs.createFile (folder, name, out);

            if (created.ok())
            {
                file = asked.getSiblingFile (name);
                break;
            }

            if (created.error != platform::FileError::alreadyExists)
                break;
        }

        if (! created.ok())
        {
            problem = "the log " + asked.getFullPathName() + " cannot be made: " + created.message;
            return;
        }

        if (file != asked)
            std::ignore = platform::printToConsole ("Log: " + file.getFullPathName() + " (" + asked.getFileName() + " is taken)\n", false);

        write (juce::String (identity::applicationName) + " " + identity::applicationVersion + ", carrying "
               + productDisplayName (identity::productNameLiteral) + " " + identity::productVersion);
        write ("System: " + juce::SystemStats::getOperatingSystemName());
        write ("Started: " + juce::Time::getCurrentTime().toISO8601 (true));
        write ("Command line: " + options.arguments);
    }

    RunLog::~RunLog() = default;

    void RunLog::write (const juce::String& line)
    {
        const std::lock_guard<std::mutex> guard (lock);

        if (! isOpen())
            return;

        const auto text = (line + platform::lineEnding()).toStdString();
        std::ignore = platform::systemFileSystem().write (out, text.data(), text.size());
    }

    void RunLog::distrustedSettings (const juce::String& why)
    {
        if (why.isNotEmpty())
            write ("Settings: not believed, the default folders are used instead: " + why);
    }

    InstallRun::Observer RunLog::observe (const InstallRun::Request& request)
    {
        if (! isOpen())
            return {};

        for (int format = 0; format < numFormats; ++format)
        {
            if (! request.formats[(size_t) format])
                continue;

            const auto& installFolder = request.folders[(size_t) format];
            const auto found = detectInstallState (installFolder, request.productName, request.productVersion, format);
            write (juce::String (formatNames[(size_t) format]) + ": folder " + (installFolder == juce::File() ? "(none)" : installFolder.getFullPathName())
                   + "; found " + installStateText (found) + "; to " + (request.uninstall ? "remove" : "install " + request.productVersion));
        }

        InstallRun::Observer observer;

        observer.formatStarted = [this] (int format)
        {
            started[(size_t) format] = juce::Time::getMillisecondCounterHiRes();
        };

        observer.progress = [this] (int format, const Progress& progress)
        {
            // A wait is told once per file, not at every try.
            if (progress.phase != Phase::waiting || waitedFor[(size_t) format] == progress.waitingFor)
                return;

            waitedFor[(size_t) format] = progress.waitingFor;
            write (juce::String (formatNames[(size_t) format]) + ": waiting for a file in use: " + progress.waitingFor);
        };

        observer.registered = [this] (const juce::String& registered) { write (registered); };

        observer.formatFinished = [this, uninstall = request.uninstall] (int format, const FormatOutcome& outcome)
        {
            const auto took = seconds (juce::Time::getMillisecondCounterHiRes() - started[(size_t) format]);
            const juce::String name (formatNames[(size_t) format]);

            if (! outcome.succeeded)
                write (name + ": failed in " + took + ": " + outcome.reason + (outcome.detail.isNotEmpty() ? " (" + outcome.detail + ")" : juce::String()));
            else if (outcome.note.isNotEmpty())
                write (name + ": " + outcome.note + (uninstall ? juce::String() : "; /FORCE replaces it"));
            else
                write (name + ": " + (uninstall ? "removed" : "installed") + " in " + took);
        };

        return observer;
    }

    void RunLog::finish (ExitCode code)
    {
        write ("Exit code: " + juce::String ((int) code));
    }

    //==============================================================================
    ExitCode runWithoutWindow (const CommandLine& options, RunLog& log)
    {

        const auto settings = SettingsFile::loadMachineSettings();
        log.distrustedSettings (settings.distrust);
        const auto folders = withChosenFolders (options, settings.installFolders);

        const auto request = InstallRun::Request::ofCarriedProduct (options.formats, folders, options.uninstall, options.force, thisProduct());
        InstallRun run (request, log.observe (request));
        run.start();
        run.waitUntilFinished();

        keepChosenFolders (options, settings.folder, run, log);
        const auto code = exitCodeFor (run.status().outcomes, request.formats);
        log.finish (code);
        return code;
    }

    ExitCode refuse (const CommandLine& options)
    {
        const auto message = "Invalid command line: " + options.error;
        std::ignore = platform::printToConsole (message + "\n", true);

        RunLog log (options);
        log.write (message);
        log.finish (ExitCode::invalidParameters);
        return ExitCode::invalidParameters;
    }

    ExitCode refuse (const RunLog& log)
    {
        std::ignore = platform::printToConsole ("Nothing was done: " + log.getProblem() + "\n", true);
        return ExitCode::invalidParameters;
    }
}
