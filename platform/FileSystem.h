#pragma once

#include <juce_core/juce_core.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace platform
{
    /** Why a file-system call failed, in the terms a user can act on. */
    enum class FileError
    {
        none,
        accessDenied,   /**< this user may not change the file or folder */
        inUse,          /**< another program holds the file */
        diskFull,       /**< no space left (or quota reached) */
        alreadyExists,  /**< the target of a create or move is taken */
        missing,        /**< nothing of that name is there */
        other
    };

    /** The outcome of one call: the kind, the system's own code (errno or
        GetLastError), the system's words for it and the path it concerned. */
    struct FileResult
    {
        FileError error = FileError::none;
        int code = 0;
        juce::String message;
        juce::String path;

        [[nodiscard]] bool ok() const noexcept  { return error == FileError::none; }
    };

    /** What a name in a folder is, without following a link. */
    enum class EntryKind
    {
        missing,
        file,
        folder,
        link        /**< a symbolic link, or on Windows any reparse point (junctions too) */
    };

    //==============================================================================
    /** A folder opened once. Every later call names an entry by a single name
        relative to it, so swapping a folder on the way for a link between two
        calls changes nothing: the calls go on acting on the folder that was
        opened, or fail, and never land where the link points.

        Owns its handle (a descriptor on Linux, a HANDLE on Windows). Its path
        is where it was when opened, for messages; it is never used to reach it. */
    class Folder
    {
    public:
        Folder() = default;
        Folder (std::intptr_t h, const juce::File& p) noexcept : handle (h), path (p) {}
        ~Folder()  { close(); }

        Folder (Folder&& other) noexcept
            : handle (std::exchange (other.handle, invalid)), path (std::move (other.path)) {}

        Folder& operator= (Folder&& other) noexcept
        {
            if (this != &other)
            {
                close();
                handle = std::exchange (other.handle, invalid);
                path = std::move (other.path);
            }

            return *this;
        }

        [[nodiscard]] bool isOpen() const noexcept           { return handle != invalid; }
        [[nodiscard]] std::intptr_t getHandle() const noexcept  { return handle; }
        [[nodiscard]] const juce::File& getPath() const noexcept  { return path; }

        /** The path of an entry in it, for messages. */
        [[nodiscard]] juce::String pathOf (const juce::String& name) const  { return path.getChildFile (name).getFullPathName(); }

        static constexpr std::intptr_t invalid = -1;

    private:
        void close() noexcept;      // the system's own call, in each system's file

        std::intptr_t handle = invalid;
        juce::File path;

        JUCE_DECLARE_NON_COPYABLE (Folder)
    };

    /** A file opened for writing by FileSystem::createFile. Move-only and as
        opaque as a Folder: what it holds is the system's own (a descriptor,
        or a handle, and what a flush in the background has been asked for).
        FileSystem::close closes it and says how that went; one that goes
        while still open is closed without a word. */
    class OpenFile
    {
    public:
        struct Native;      // each system's own, in its file

        /** Closes what the system opened; each system's file defines it. */
        struct NativeDeleter
        {
            void operator() (Native*) const noexcept;
        };

        using NativePtr = std::unique_ptr<Native, NativeDeleter>;

        OpenFile() noexcept = default;
        OpenFile (const juce::String& p, NativePtr n) noexcept : path (p), native (std::move (n)) {}
        OpenFile (OpenFile&&) noexcept = default;
        OpenFile& operator= (OpenFile&&) noexcept = default;

        [[nodiscard]] bool isOpen() const noexcept                 { return native != nullptr; }
        [[nodiscard]] const juce::String& getPath() const noexcept  { return path; }

        /** The system's state, for the system's own calls. */
        [[nodiscard]] Native* getNative() const noexcept            { return native.get(); }

        /** Gives the system's state back, for the system's own close. */
        [[nodiscard]] NativePtr release() noexcept                  { return std::move (native); }

    private:
        juce::String path;
        NativePtr native;

        JUCE_DECLARE_NON_COPYABLE (OpenFile)
    };

    //==============================================================================
    /** Every call through which the installation engine reaches the disk, so
        that a test can fail, stop or hold a run at any of them. Each call is
        one step of the system's: it either happens or is refused, and a
        refusal is reported, never tried again here (the engine decides).
        What a call does inside that step is the system's own ordinary way of
        doing it: a write goes on after a signal or a short write until all of
        its bytes are taken; a flush first waits for the flush started in the
        background while the file was written; a move uses the plain rename
        where a file system lacks the no-replace flag, after checking the
        target is free; on Windows a file marked read-only has that mark
        cleared on the handle being deleted, unless it has other names (hard
        links), when it is left and the removal refused. Names are single
        names, never paths, and no call follows a link in them.

        The system's implementation is systemFileSystem(); tests wrap it. */
    class FileSystem
    {
    public:
        virtual ~FileSystem() = default;

        /** Opens a folder by its full path, the one place where a path is
            walked (and links on it followed, as for any folder the user names). */
        virtual FileResult openFolder (const juce::File& path, Folder& out) = 0;

        /** Opens a folder inside another; a link there is refused. */
        virtual FileResult openFolder (const Folder& parent, const juce::String& name, Folder& out) = 0;

        /** One folder. */
        virtual FileResult createFolder (const Folder& parent, const juce::String& name) = 0;

        /** A new file for writing; fails with alreadyExists when the name is taken. */
        virtual FileResult createFile (const Folder& parent, const juce::String& name, OpenFile&) = 0;

        /** Writes all of the data, or reports why not. */
        virtual FileResult write (OpenFile&, const void* data, size_t size) = 0;

        /** Returns once the file's data has reached the disk. */
        virtual FileResult flush (OpenFile&) = 0;

        /** Closes the file; it is let go of even when this reports an error. */
        virtual FileResult close (OpenFile&) = 0;

        /** Renames an entry (a link is moved as itself), within one volume.
            Never replaces an existing target. */
        virtual FileResult move (const Folder& from, const juce::String& fromName,
                                 const Folder& to, const juce::String& toName) = 0;

        /** Removes a file or a link (never what a link points to). */
        virtual FileResult removeFile (const Folder&, const juce::String& name) = 0;

        /** Removes an empty folder; a link in its place is not removed. */
        virtual FileResult removeFolder (const Folder&, const juce::String& name) = 0;

        /** Returns once the folder's entries (names created, moved or removed
            in it) have reached the disk. */
        virtual FileResult flushFolder (const Folder&) = 0;

        //==============================================================================
        // Queries: they change nothing, so tests pass them through.

        virtual EntryKind kindOf (const Folder&, const juce::String& name) = 0;

        /** The names in a folder, without "." and ".."; empty when it cannot be read. */
        virtual std::vector<juce::String> namesIn (const Folder&) = 0;

        /** The programs that hold the file, or a file in the folder, at this
            path open, by the names the system gives them; empty when it cannot
            say (on Linux always). */
        virtual juce::StringArray programsUsing (const juce::String& path) = 0;

        /** Waits before a retry; returns early once `stopWaiting` (when
            given) says so, checked every few hundredths of a second. */
        virtual void pause (int milliseconds, const std::function<bool()>& stopWaiting) = 0;
    };

    /** The operating system's file calls. */
    FileSystem& systemFileSystem();

    /** A FileResult for a system error code (errno, or GetLastError on Windows). */
    FileResult fileResultFor (int systemCode, const juce::String& path = {});

    /** True when a name can be handed to the calls above: one name, not "." or
        "..", without a separator. */
    bool isSingleName (const juce::String&);

    /** Sleeps, in slices short enough that a stop is seen within a few
        hundredths of a second; returns early once `stopWaiting` says so. */
    void pauseUnlessStopped (int milliseconds, const std::function<bool()>& stopWaiting);
}
