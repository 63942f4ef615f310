#pragma once

#include <juce_core/juce_core.h>
#include <cstdint>
#include <memory>
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

    /** What a path names, without following a final link. */
    enum class EntryKind
    {
        missing,
        file,
        folder,
        link        /**< a symbolic link, or on Windows any reparse point (junctions too) */
    };

    /** A file opened for writing by FileSystem::createFile. */
    struct OpenFile
    {
        std::intptr_t handle = -1;
        juce::String path;
        uint64_t written = 0;
        uint64_t flushedUpTo = 0;              /**< how much a flush in the background has been asked for */
        std::shared_ptr<void> backgroundFlush; /**< the system's own state of that flush */
    };

    /** Every call through which the installation engine changes the disk, one
        system call each, so that a test can fail or stop a run at any of them.
        Nothing here follows a link, retries or recurses: the engine decides.

        The system's implementation is systemFileSystem(); tests wrap it. */
    class FileSystem
    {
    public:
        virtual ~FileSystem() = default;

        /** One folder; its parent must exist. */
        virtual FileResult createFolder (const juce::File&) = 0;

        /** A new file for writing; fails with alreadyExists when the name is taken. */
        virtual FileResult createFile (const juce::File&, OpenFile&) = 0;
        virtual FileResult write (OpenFile&, const void* data, size_t size) = 0;

        /** Returns once the file's data has reached the disk. */
        virtual FileResult flush (OpenFile&) = 0;

        /** Closes the file; the handle is released even when this reports an error. */
        virtual FileResult close (OpenFile&) = 0;

        /** Renames within one volume. Never replaces an existing target. */
        virtual FileResult move (const juce::File& from, const juce::File& to) = 0;

        /** Removes a file or a link (never what a link points to). */
        virtual FileResult removeFile (const juce::File&) = 0;

        /** Removes an empty folder. */
        virtual FileResult removeFolder (const juce::File&) = 0;

        /** Returns once the folder's entries (names created, moved or removed
            in it) have reached the disk. */
        virtual FileResult flushFolder (const juce::File&) = 0;

        //==============================================================================
        // Queries: they change nothing, so tests pass them through.

        virtual EntryKind kindOf (const juce::File&) = 0;

        /** The names in a folder, without "." and ".."; empty when it cannot be read. */
        virtual std::vector<juce::String> namesIn (const juce::File& folder) = 0;

        /** Waits before a retry. */
        virtual void pause (int milliseconds) = 0;
    };

    /** The operating system's file calls. */
    FileSystem& systemFileSystem();

    /** A FileResult for a system error code (errno, or GetLastError on Windows). */
    FileResult fileResultFor (int systemCode, const juce::String& path = {});
}
