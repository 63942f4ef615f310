#include "ProductRegistration.h"
#include "InstallDetection.h"
#include "../platform/Platform.h"
#include "../platform/TrustedFiles.h"
#include "../platform/UninstallEntry.h"

namespace ProductRegistration
{
    juce::File keptFolder (const Product& product)
    {
        const auto programs = platform::programsFolder();
        return programs == juce::File() ? juce::File() : programs.getChildFile (product.maker).getChildFile (product.name);
    }

    juce::File keptProgram (const Product& product)
    {
        const auto folder = keptFolder (product);
        return folder == juce::File() ? juce::File() : folder.getChildFile ("tsr_installer" + product.runningProgram.getFileExtension());
    }

    namespace
    {
        juce::String quoted (const juce::File& program)
        {
            return "\"" + program.getFullPathName() + "\"";
        }

        /** Bytes of a file, or of a bundle folder with everything in it,
            links not followed. */
        juce::int64 sizeOf (const juce::File& item)
        {
            if (! item.isDirectory())
                return item.getSize();

            juce::int64 total = 0;
            for (const auto& entry : juce::RangedDirectoryIterator (item, true, "*", juce::File::findFiles, juce::File::FollowSymlinks::no))
                total += entry.getFileSize();

            return total;
        }

        /** Puts a copy of the running program in the kept folder, made with
            administrators-only rights, unless that copy is what runs. */
        platform::FileResult keepProgram (const Product& product)
        {
            const auto kept = keptProgram (product);
            if (kept == juce::File())
                return { platform::FileError::missing, 0, "the system names no programs folder", {} };

            if (kept == product.runningProgram)
                return {};

            // %ProgramFiles%\<maker>\<product>, each made with administrators-only rights.
            const auto makerFolder = kept.getParentDirectory().getParentDirectory();
            platform::Folder maker, folder;

            if (auto result = platform::openTrustedFolder (makerFolder.getParentDirectory(), product.maker, true, maker); ! result.ok())
                return result;

            if (auto result = platform::openTrustedFolder (makerFolder, product.name, true, folder); ! result.ok())
                return result;

            auto result = platform::replaceTrustedFile (folder, kept.getFileName(), product.runningProgram);

            // Where it matters (not on Windows), a program needs the right to run.
            if (result.ok())
                std::ignore = kept.setExecutePermission (true);

            return result;
        }

        /** Removes the entry and the kept copy; this copy's own file goes at
            the next restart when it is the one running. */
        juce::String unregister (const Product& product)
        {
            const bool hadEntry = platform::hasUninstallEntry (product.code);
            if (hadEntry && ! platform::removeUninstallEntry (product.code))
                return "Apps & features: the entry could not be removed";

            const auto kept = keptProgram (product);
            juce::String said = hadEntry ? "Apps & features: removed, nothing is installed" : juce::String();

            if (kept == juce::File() || ! kept.existsAsFile())
                return said;

            if (kept == product.runningProgram)
            {
                switch (platform::removeRunningProgram (kept))
                {
                    case platform::Removal::done:      return said + "; the kept manager removed";
                    case platform::Removal::atRestart: return said + "; the kept manager " + kept.getFullPathName() + " is removed at the next restart";
                    case platform::Removal::refused:   return said + "; the kept manager " + kept.getFullPathName() + " could not be removed";
                }
            }

            if (! kept.deleteFile())
                return said + "; the kept manager " + kept.getFullPathName() + " could not be removed";

            std::ignore = kept.getParentDirectory().deleteFile();       // only when empty
            return said + "; the kept manager removed";
        }
    }

    juce::String update (const Product& product, const std::array<juce::File, numFormats>& folders)
    {
        // A newer version's entry and manager are that version's to keep.
        if (const auto registered = platform::uninstallEntryValue (product.code, "DisplayVersion");
            registered.isNotEmpty() && compareVersions (registered, product.version) > 0)
            return "Apps & features: left to the newer " + registered + " registered there";

        juce::StringArray installed;
        juce::int64 bytes = 0;

        for (int format = 0; format < numFormats; ++format)
        {
            if (detectInstallState (folders[(size_t) format], product.name, product.version, format).state == InstallState::NotInstalled)
                continue;

            const auto item = pluginItemFor (folders[(size_t) format], product.name, format);
            installed.add (juce::String (formatNames[(size_t) format]) + ": " + item.getFullPathName());
            bytes += sizeOf (item);
        }

        if (installed.isEmpty())
            return unregister (product);

        juce::String said = "Apps & features: " + product.name + " " + product.version + " registered";
        auto manager = keptProgram (product);

        if (const auto kept = keepProgram (product); ! kept.ok())
        {
            // Without a kept copy, the entry runs the program from where it is.
            said << "; no manager kept (" << kept.path << ": " << kept.message << ")";
            manager = product.runningProgram;
        }

        bytes += manager.getSize();

        platform::UninstallEntry entry;
        entry.text = {
            { "DisplayName", product.name },
            { "DisplayVersion", product.version },
            { "Publisher", product.maker },
            { "DisplayIcon", manager.getFullPathName() },
            { "InstallLocation", manager.getParentDirectory().getFullPathName() },
            { "UninstallString", quoted (manager) + " /SILENT /UNINSTALL" },
            { "QuietUninstallString", quoted (manager) + " /VERYSILENT /UNINSTALL" },
            { "ModifyPath", quoted (manager) },
            { "InstallDate", juce::Time::getCurrentTime().formatted ("%Y%m%d") },
            { "URLInfoAbout", product.websiteUrl },
            { "HelpLink", product.helpUrl },
            { "InstalledFormats", installed.joinIntoString ("; ") },
        };
        entry.numbers = { { "NoRepair", 1 }, { "EstimatedSize", (juce::uint32) ((bytes + 1023) / 1024) } };

        if (! platform::writeUninstallEntry (product.code, entry))
            return "Apps & features: the entry could not be written";

        return said + ", with " + installed.joinIntoString ("; ");
    }
}
