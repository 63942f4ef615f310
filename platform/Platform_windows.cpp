#include "Platform.h"

#if JUCE_WINDOWS

#include "WindowsFiles.h"
#include "../pe/PeFileVersion.h"
#include <shlobj.h>
#include <aclapi.h>

namespace platform
{
    juce::File machineDataFolder()
    {
        WCHAR path[MAX_PATH + 1] = {};

        if (! SHGetSpecialFolderPathW (nullptr, path, CSIDL_COMMON_APPDATA, FALSE))
            return {};

        const juce::String folder (path);
        return isAbsoluteFolderPath (folder) ? juce::File (folder) : juce::File();
    }

    std::array<juce::File, 4> defaultInstallFolders()
    {
        const juce::File root ("C:/Program Files/Common Files");

        return { root.getChildFile ("VST3"),
                 root.getChildFile ("VST2"),
                 root.getChildFile ("CLAP"),
                 root.getChildFile ("Avid/Audio/Plug-Ins") };
    }

    juce::String vst2DefaultFolder()
    {
        return juce::WindowsRegistry::getValue ("HKEY_LOCAL_MACHINE\\SOFTWARE\\VST\\VSTPluginsPath",
                                                {}, juce::WindowsRegistry::WoW64_64bit);
    }

    juce::String fileVersion (const juce::File& binary)
    {
        return binary.getVersion();
    }

    juce::String fileVersionIn (const Folder& folder, const juce::String& name)
    {
        if (! isSingleName (name))
            return {};

        // Opened as itself, never through a link, and read only when it is a
        // plain file on a disk.
        const auto opened = windows::openEntry (reinterpret_cast<HANDLE> (folder.getHandle()), name, GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_NON_DIRECTORY_FILE, false);
        if (! opened.ok())
            return {};

        windows::ScopedHandle file (opened.handle);
        const auto attributes = windows::attributesOf (file.handle);
        LARGE_INTEGER size {};

        if (attributes == INVALID_FILE_ATTRIBUTES
             || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) != 0
             || GetFileType (file.handle) != FILE_TYPE_DISK || ! GetFileSizeEx (file.handle, &size))
            return {};

        return peFileVersion ([handle = file.handle] (juce::uint64 offset, void* destination, size_t wanted) -> juce::int64
                              {
                                  OVERLAPPED at {};
                                  at.Offset = (DWORD) offset;
                                  at.OffsetHigh = (DWORD) (offset >> 32);
                                  DWORD got = 0;

                                  if (! ReadFile (handle, destination, (DWORD) std::min<size_t> (wanted, 1u << 30), &got, &at))
                                      return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;

                                  return (juce::int64) got;
                              },
                              (juce::uint64) size.QuadPart);
    }

    juce::File temporaryFolder()
    {
        // Run as SYSTEM (by a deployment tool), GetTempPath2W gives the
        // system's own temporary folder, which other users cannot enter;
        // GetTempPathW would give C:\Windows\Temp, where they may create
        // names. For anyone else the two agree. Older systems lack it.
        using GetTempPath2 = DWORD (WINAPI*) (DWORD, LPWSTR);
        static const auto getTempPath2 = reinterpret_cast<GetTempPath2> (reinterpret_cast<void*> (
            GetProcAddress (GetModuleHandleW (L"kernel32.dll"), "GetTempPath2W")));

        WCHAR path[2048] = {};
        const auto size = (DWORD) juce::numElementsInArray (path);
        const auto length = getTempPath2 != nullptr ? getTempPath2 (size, path) : GetTempPathW (size, path);

        if (length == 0 || length >= (DWORD) juce::numElementsInArray (path))
            return {};

        const juce::String folder (path);
        return isAbsoluteFolderPath (folder) ? juce::File (folder) : juce::File();
    }

    bool isAbsoluteFolderPath (const juce::String& path)
    {
        // "C:\x" or "C:/x", or a UNC share "\\server\share". "C:x" and "\x" are
        // relative to a current directory or drive and so name no definite place.
        const auto isSeparator = [] (juce::juce_wchar c) { return c == '\\' || c == '/'; };
        const auto isDrivePath = [&] (const juce::String& p)
        {
            return p.length() >= 3 && juce::CharacterFunctions::isLetter (p[0]) && p[1] == ':' && isSeparator (p[2]);
        };

        if (isDrivePath (path))
            return true;

        if (path.length() <= 2 || ! isSeparator (path[0]) || ! isSeparator (path[1]) || isSeparator (path[2]))
            return false;

        // "\\.\" and "\\?\" open the device namespace: volumes, pipes, devices.
        // Only the long forms of a drive path and of a share are folders.
        if (path[2] == '.' || path[2] == '?')
        {
            if (path[2] != '?' || ! isSeparator (path[3]))
                return false;

            const auto rest = path.substring (4);
            return isDrivePath (rest)
                    || (rest.startsWithIgnoreCase ("UNC") && rest.length() > 4 && isSeparator (rest[3])
                         && ! isSeparator (rest[4]));
        }

        return true;
    }

    juce::String whyNotAPath (const juce::String& path)
    {
        // The long forms' own prefix, "\\?\", is no part of the path.
        const auto rest = path.startsWith ("\\\\?\\") ? path.substring (4) : path;
        const bool hasDrive = rest.length() >= 2 && juce::CharacterFunctions::isLetter (rest[0]) && rest[1] == ':';

        for (int i = 0; i < rest.length(); ++i)
        {
            const auto c = rest[i];

            if (c < 0x20)
                return "it holds a control character";

            if (juce::String ("\"<>|?*").containsChar (c))
                return "it holds " + juce::String::charToString (c) + ", which Windows does not allow in a path";

            if (c == ':' && ! (hasDrive && i == 1))
                return "it holds a colon other than the drive's";
        }

        static const juce::StringArray devices { "CON", "PRN", "AUX", "NUL",
                                                 "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
                                                 "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9" };

        for (const auto& part : juce::StringArray::fromTokens (rest.substring (hasDrive ? 2 : 0), "\\/", {}))
        {
            if (part.isEmpty() || part == "." || part == "..")
                continue;

            if (part.endsWithChar ('.') || part.endsWithChar (' '))
                return "its part \"" + part + "\" ends in a dot or a space, which Windows drops";

            if (devices.contains (part.upToFirstOccurrenceOf (".", false, false).trimEnd(), true))
                return "its part \"" + part + "\" names a device, not a folder";
        }

        return {};
    }

    const char* lineEnding() noexcept
    {
        return "\r\n";
    }

    bool printToConsole (const juce::String& text, bool error)
    {
        // Output the caller redirected (a script's "> file") has a handle
        // already; a window program started from a console borrows that one.
        auto handle = GetStdHandle (error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);

        if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        {
            static const bool attached = AttachConsole (ATTACH_PARENT_PROCESS) != FALSE;
            if (! attached)
                return false;

            handle = CreateFileW (L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            if (handle == INVALID_HANDLE_VALUE)
                return false;

            DWORD written = 0;
            const auto wide = text.replace ("\n", "\r\n");
            const bool done = WriteConsoleW (handle, wide.toWideCharPointer(), (DWORD) wcslen (wide.toWideCharPointer()), &written, nullptr);
            CloseHandle (handle);
            return done;
        }

        const auto utf8 = text.replace ("\n", "\r\n").toStdString();
        DWORD written = 0;
        return WriteFile (handle, utf8.data(), (DWORD) utf8.size(), &written, nullptr) != FALSE;
    }

    bool isOwnRegularFile (const juce::File& file)
    {
        // Opened as itself, never through a link, and asked who owns it.
        const auto handle = CreateFileW (file.getFullPathName().toWideCharPointer(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;

        const juce::ScopeGuard close { [handle] { CloseHandle (handle); } };

        BY_HANDLE_FILE_INFORMATION info {};
        if (! GetFileInformationByHandle (handle, &info)
             || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0
             || GetFileType (handle) != FILE_TYPE_DISK)
            return false;

        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (GetSecurityInfo (handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
            return false;

        const juce::ScopeGuard release { [descriptor] { LocalFree (descriptor); } };

        HANDLE token = nullptr;
        if (! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;

        const juce::ScopeGuard closeToken { [token] { CloseHandle (token); } };

        for (auto kind : { TokenUser, TokenOwner })
        {
            // TOKEN_USER and TOKEN_OWNER both start with the SID's pointer.
            DWORD size = 0;
            GetTokenInformation (token, kind, nullptr, 0, &size);
            std::vector<BYTE> buffer (size);

            if (size > 0 && GetTokenInformation (token, kind, buffer.data(), size, &size)
                 && EqualSid (owner, *reinterpret_cast<PSID*> (buffer.data())))
                return true;
        }

        return false;
    }

}

#endif
