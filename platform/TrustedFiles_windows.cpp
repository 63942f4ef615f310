#include "TrustedFiles.h"

#if JUCE_WINDOWS

#include "WindowsFiles.h"
#include <aclapi.h>
#include <sddl.h>

namespace platform
{
    using windows::ScopedHandle;
    using windows::openRelative;
    using windows::attributesOf;

    bool isElevated()
    {
        ScopedHandle token;
        if (! OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token.handle))
            return false;

        TOKEN_ELEVATION elevation {};
        DWORD size = 0;
        return GetTokenInformation (token.handle, TokenElevation, &elevation, sizeof (elevation), &size)
                && elevation.TokenIsElevated != 0;
    }

    void enableRedirectionGuard()
    {
        using SetPolicy = BOOL (WINAPI*) (PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);

        // Windows 11 and the later updates of 10 have it; elsewhere the call is
        // missing or refused, and the handle-relative calls are the defence.
        if (auto set = reinterpret_cast<SetPolicy> (reinterpret_cast<void*> (
                GetProcAddress (GetModuleHandleW (L"kernel32.dll"), "SetProcessMitigationPolicy"))))
        {
            DWORD enforce = 1;     // EnforceRedirectionTrust, the policy's first flag
            std::ignore = set (ProcessRedirectionTrustPolicy, &enforce, sizeof (enforce));
        }
    }

    namespace
    {
        constexpr ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

        // What lets someone other than an administrator change a file or its
        // rules; and what, on a folder, lets them remove, rename or replace an
        // entry of an administrator's, or re-permission the folder. Adding
        // entries to the folder is harmless: none is opened for what it holds
        // unless an administrator owns it.
        constexpr ACCESS_MASK fileWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD
                                              | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
        constexpr ACCESS_MASK folderTakeoverRights = DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

        // Administrators own it and, with SYSTEM, alone may change it; everyone may read.
        constexpr const wchar_t* folderRights = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)";
        constexpr const wchar_t* fileRights   = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;WD)";

        FileResult untrusted (const juce::String& path, const juce::String& why)
        {
            return { FileError::accessDenied, ERROR_ACCESS_DENIED, why, path };
        }

        /** Administrators, SYSTEM or TrustedInstaller. Never a user's account,
            not even the running administrator's: its unelevated programs
            carry it too. */
        bool isAdministratorSid (PSID sid)
        {
            if (sid == nullptr || ! IsValidSid (sid))
                return false;

            if (IsWellKnownSid (sid, WinBuiltinAdministratorsSid) || IsWellKnownSid (sid, WinLocalSystemSid))
                return true;

            // NT SERVICE\TrustedInstaller, which owns the system's own files.
            SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
            PSID trustedInstaller = nullptr;
            if (! AllocateAndInitializeSid (&nt, 6, 80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464, 0, 0, &trustedInstaller))
                return false;

            const bool same = EqualSid (sid, trustedInstaller) != FALSE;
            FreeSid (trustedInstaller);
            return same;
        }

        /** True under Wine, which gives every file the running user as its
            owner and forgets the rules set on it: only the rules about links
            mean anything there. */
        bool keepsNoOwners()
        {
            static const bool wine = GetProcAddress (GetModuleHandleW (L"ntdll.dll"), "wine_get_version") != nullptr;
            return wine;
        }

        /** Why an open entry's owner and rights are not to be believed, or "". */
        juce::String distrustOf (HANDLE handle, TrustedEntry kind)
        {
            if (! isElevated() || keepsNoOwners())
                return {};

            PSECURITY_DESCRIPTOR descriptor = nullptr;
            if (GetSecurityInfo (handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
                return "its owner and rights cannot be read";

            const juce::ScopeGuard release { [descriptor] { LocalFree (descriptor); } };
            return whyUntrusted (descriptor, kind);
        }

        /** A security descriptor from its text form, freed with the object. */
        struct Descriptor
        {
            explicit Descriptor (const wchar_t* text)
            {
                if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (text, SDDL_REVISION_1, &descriptor, nullptr))
                    descriptor = nullptr;
            }

            ~Descriptor()  { if (descriptor != nullptr) LocalFree (descriptor); }

            PSECURITY_DESCRIPTOR descriptor = nullptr;
        };

        /** Creates with administrators-only rights when elevated. Giving the
            owner needs a right an elevated token has; where it is refused, the
            token's own default owner, Administrators for an elevated one, owns it. */
        windows::Opened createProtected (HANDLE parent, const juce::String& name, ACCESS_MASK access, ULONG share,
                                         ULONG options, const wchar_t* rights)
        {
            if (! isElevated())
                return openRelative (parent, name, access, share, FILE_CREATE, options);

            Descriptor withOwner (rights);
            auto created = openRelative (parent, name, access, share, FILE_CREATE, options, withOwner.descriptor);

            if (created.error == ERROR_INVALID_OWNER)
            {
                Descriptor withoutOwner (std::wcsstr (rights, L"D:"));
                created = openRelative (parent, name, access, share, FILE_CREATE, options, withoutOwner.descriptor);
            }

            return created;
        }
    }

    juce::String whyUntrusted (void* descriptor, TrustedEntry kind)
    {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;

        if (descriptor == nullptr || ! GetSecurityDescriptorOwner (descriptor, &owner, &defaulted)
             || ! GetSecurityDescriptorDacl (descriptor, &present, &dacl, &defaulted))
            return "its owner and rights cannot be read";

        if (! isAdministratorSid (owner))
            return "it is not owned by Administrators, SYSTEM or TrustedInstaller";

        // No access list at all lets everyone do everything.
        if (! present || dacl == nullptr)
            return "anyone may change it";

        const auto forbidden = kind == TrustedEntry::folder ? folderTakeoverRights : fileWriteRights;

        for (DWORD i = 0; i < dacl->AceCount; ++i)
        {
            void* ace = nullptr;
            if (! GetAce (dacl, i, &ace))
                return "its rights cannot be read";

            const auto* header = static_cast<const ACE_HEADER*> (ace);
            if ((header->AceFlags & INHERIT_ONLY_ACE) != 0)
                continue;       // only for what is made inside

            switch (header->AceType)
            {
                case ACCESS_ALLOWED_ACE_TYPE:
                {
                    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*> (ace);
                    if ((allowed->Mask & forbidden) != 0 && ! isAdministratorSid ((PSID) &allowed->SidStart))
                        return kind == TrustedEntry::folder ? "others may remove, rename or re-permission what is in it"
                                                            : "others may change it";
                    break;
                }

                // Rules that grant by conditions or object types are not read
                // here: they are not trusted.
                case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
                case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
                case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
                case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
                    return "its rights grant by conditions";

                default:
                    break;      // denials, audits and labels grant nothing
            }
        }

        return {};
    }

    FileResult openTrustedFolder (const juce::File& base, const juce::String& name, bool create, Folder& out)
    {
        const auto path = base.getChildFile (name).getFullPathName();

        if (! isSingleName (name))
            return fileResultFor (ERROR_INVALID_NAME, path);

        Folder parent;
        if (auto result = systemFileSystem().openFolder (base, parent); ! result.ok())
            return result;

        const auto parentHandle = reinterpret_cast<HANDLE> (parent.getHandle());
        constexpr ACCESS_MASK access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
        auto opened = windows::openEntry (parentHandle, name, access, shareAll, FILE_DIRECTORY_FILE, false);

        if (! opened.ok() && create && (opened.error == ERROR_FILE_NOT_FOUND || opened.error == ERROR_PATH_NOT_FOUND))
        {
            opened = createProtected (parentHandle, name, access, shareAll, FILE_DIRECTORY_FILE, folderRights);
            if (! opened.ok() && opened.error == ERROR_ALREADY_EXISTS)
                opened = windows::openEntry (parentHandle, name, access, shareAll, FILE_DIRECTORY_FILE, false);
        }

        if (opened.error == ERROR_CANT_RESOLVE_FILENAME)
            return untrusted (path, "it is a link, or not a folder");

        if (! opened.ok())
            return fileResultFor ((int) opened.error, path);

        Folder folder (reinterpret_cast<std::intptr_t> (opened.handle), base.getChildFile (name));

        if ((attributesOf (opened.handle) & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return untrusted (path, "it is a link");

        if (const auto why = distrustOf (opened.handle, TrustedEntry::folder); why.isNotEmpty())
            return untrusted (path, why);

        out = std::move (folder);
        return {};
    }

    FileResult readTrustedFile (const Folder& folder, const juce::String& name, juce::int64 maxBytes, FileContent& out)
    {
        const auto path = folder.pathOf (name);
        const auto folderHandle = reinterpret_cast<HANDLE> (folder.getHandle());

        if (! isSingleName (name))
            return fileResultFor (ERROR_INVALID_NAME, path);

        // Opened first only to be looked at: its content is read only once
        // it is known to be a plain file an administrator owns.
        auto looked = windows::openEntry (folderHandle, name, READ_CONTROL | FILE_READ_ATTRIBUTES, shareAll, FILE_NON_DIRECTORY_FILE, false);
        if (looked.error == ERROR_CANT_RESOLVE_FILENAME)
            return untrusted (path, "it is a link, or not a file");

        if (! looked.ok())
            return fileResultFor ((int) looked.error, path);

        ScopedHandle entry (looked.handle);
        const auto attributes = attributesOf (entry.handle);

        if (attributes == INVALID_FILE_ATTRIBUTES
             || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            return untrusted (path, "it is not a plain file");

        if (const auto why = distrustOf (entry.handle, TrustedEntry::file); why.isNotEmpty())
            return untrusted (path, why);

        // The same file, opened again to be read: no other user may rename
        // or replace it in this folder.
        ScopedHandle file (windows::openEntry (folderHandle, name, GENERIC_READ, shareAll, FILE_NON_DIRECTORY_FILE, false).handle);
        LARGE_INTEGER size {};

        if (file.handle == INVALID_HANDLE_VALUE || windows::idOf (file.handle) != windows::idOf (entry.handle)
             || GetFileType (file.handle) != FILE_TYPE_DISK || ! GetFileSizeEx (file.handle, &size))
            return fileResultFor (ERROR_ACCESS_DENIED, path);

        if (size.QuadPart > maxBytes)
            return untrusted (path, "it is larger than a settings file can be");

        // One byte more than the file had is asked for: a file that grows
        // while it is read is refused rather than read past the limit.
        out.bytes.assign ((size_t) size.QuadPart + 1, '\0');
        size_t got = 0;

        for (;;)
        {
            DWORD n = 0;
            if (! ReadFile (file.handle, out.bytes.data() + got, (DWORD) (out.bytes.size() - got), &n, nullptr))
                return fileResultFor ((int) GetLastError(), path);

            if (n == 0 || (got += n) == out.bytes.size())
                break;
        }

        if (got > (size_t) size.QuadPart)
            return fileResultFor (ERROR_FILE_TOO_LARGE, path);

        out.bytes.resize (got);
        out.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        return {};
    }

    FileResult replaceTrustedFile (const Folder& folder, const juce::String& name, juce::InputStream& source)
    {
        const auto path = folder.pathOf (name);
        const auto folderHandle = reinterpret_cast<HANDLE> (folder.getHandle());

        if (! isSingleName (name))
            return fileResultFor (ERROR_INVALID_NAME, path);

        // A new file beside it, under a name no one else holds: others may add
        // names to the folder, so one of theirs is passed over, never used.
        windows::Opened created;
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const auto temporary = "." + name + "." + juce::String ((int) GetCurrentProcessId()) + "-" + juce::String (attempt) + ".tsr-new";
            created = createProtected (folderHandle, temporary, GENERIC_WRITE | DELETE, 0, FILE_NON_DIRECTORY_FILE, fileRights);

            if (created.ok() || (created.error != ERROR_ALREADY_EXISTS && created.error != ERROR_FILE_EXISTS
                                  && created.error != ERROR_ACCESS_DENIED))
                break;
        }

        if (! created.ok())
            return fileResultFor ((int) created.error, path);

        ScopedHandle file (created.handle);
        DWORD error = ERROR_SUCCESS;
        std::vector<char> buffer (1 << 20);

        for (;;)
        {
            const auto got = source.read (buffer.data(), (int) buffer.size());
            if (got <= 0)
                break;

            DWORD written = 0;
            if (! WriteFile (file.handle, buffer.data(), (DWORD) got, &written, nullptr) || written != (DWORD) got)
            {
                error = GetLastError();
                break;
            }
        }

        if (error == ERROR_SUCCESS && ! source.isExhausted())
            error = ERROR_READ_FAULT;

        if (error == ERROR_SUCCESS && ! FlushFileBuffers (file.handle))
            error = GetLastError();

        if (error == ERROR_SUCCESS)
            error = windows::renameTo (file.handle, folderHandle, name, true);

        if (error != ERROR_SUCCESS)
        {
            FILE_DISPOSITION_INFO remove { TRUE };
            SetFileInformationByHandle (file.handle, FileDispositionInfo, &remove, sizeof (remove));
            return fileResultFor ((int) error, path);
        }

        return {};
    }

    FileResult replaceTrustedFile (const Folder& folder, const juce::String& name, const juce::File& source)
    {
        juce::FileInputStream stream (source);
        if (! stream.openedOk())
            return fileResultFor ((int) ERROR_FILE_NOT_FOUND, source.getFullPathName());

        return replaceTrustedFile (folder, name, stream);
    }
}

#endif
