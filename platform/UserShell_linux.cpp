#include "UserShell.h"
#include "TrustedFiles.h"

#if ! JUCE_WINDOWS

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform
{
    namespace
    {
        /** The desktop's opener, found as a shell would find it. */
        juce::File findOpener()
        {
            for (const auto& folder : juce::StringArray::fromTokens (juce::SystemStats::getEnvironmentVariable ("PATH", "/usr/bin:/bin"), ":", {}))
                if (folder.startsWithChar ('/'))
                    if (const auto candidate = juce::File (folder).getChildFile ("xdg-open"); candidate.existsAsFile() && ::access (candidate.getFullPathName().toRawUTF8(), X_OK) == 0)
                        return candidate;

            return {};
        }

        /** The user who asked for root: sudo and pkexec both say so. */
        std::optional<uid_t> requestingUser()
        {
            for (const auto* name : { "SUDO_UID", "PKEXEC_UID" })
            {
                const auto value = juce::SystemStats::getEnvironmentVariable (name, {});
                if (value.isNotEmpty() && value.containsOnly ("0123456789") && value.getLargeIntValue() > 0)
                    return (uid_t) value.getLargeIntValue();
            }

            return std::nullopt;
        }
    }

    bool openAsUser (const juce::URL& url)
    {
        if (! isElevated())
            return url.launchInDefaultBrowser();

        const auto user = requestingUser();
        const auto* account = user ? ::getpwuid (*user) : nullptr;
        const auto opener = findOpener();

        if (account == nullptr || opener == juce::File())
            return false;

        // Everything the child needs is made before the fork: after it, in a
        // process of many threads, only the system's own calls are safe.
        const std::string home = account->pw_dir, name = account->pw_name;
        const auto group = account->pw_gid;
        const std::string program = opener.getFullPathName().toStdString(), link = url.toString (true).toStdString();

        std::vector<std::string> variables;
        for (auto** v = environ; *v != nullptr; ++v)
        {
            const std::string variable (*v);
            if (variable.rfind ("HOME=", 0) != 0 && variable.rfind ("USER=", 0) != 0 && variable.rfind ("LOGNAME=", 0) != 0)
                variables.push_back (variable);
        }

        variables.push_back ("HOME=" + home);
        variables.push_back ("USER=" + name);
        variables.push_back ("LOGNAME=" + name);

        std::vector<char*> envp, argv { const_cast<char*> (program.c_str()), const_cast<char*> (link.c_str()), nullptr };
        for (auto& v : variables)
            envp.push_back (v.data());
        envp.push_back (nullptr);

        std::vector<gid_t> groups (64);
        auto count = (int) groups.size();
        if (::getgrouplist (name.c_str(), group, groups.data(), &count) < 0)
            count = 0;

        // Twice forked, so the opener is nobody's child here and never waited for.
        const auto child = ::fork();
        if (child < 0)
            return false;

        if (child == 0)
        {
            if (::fork() != 0)
                ::_exit (0);

            if (::setgroups ((size_t) count, groups.data()) != 0 || ::setgid (group) != 0 || ::setuid (*user) != 0
                 || ::getuid() != *user || ::geteuid() != *user || ::setuid (0) == 0)
                ::_exit (127);

            ::execve (program.c_str(), argv.data(), envp.data());
            ::_exit (127);
        }

        int status = 0;
        while (::waitpid (child, &status, 0) < 0 && errno == EINTR) {}
        return WIFEXITED (status) && WEXITSTATUS (status) == 0;
    }
}

#endif
