// The few operating-system services the extraction engine needs: existence,
// full paths, reading a whole file, creating a new file exclusively, and
// handing a file to the desktop's viewer. Implemented once for Win32 (wide
// functions) and once for POSIX; the engine never sees which one it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "platform/interrupt.h"
#include "platform/path.h"
#include "platform/unique_handle.h"

namespace vexlo::platform {

// An opaque owner window for the viewer launch (an HWND on Windows).
using WindowHandle = void*;

// The system's own code for why a call failed, kept so a report can say
// why: errno on POSIX, GetLastError() on Windows; 0 when none was given.
using OsError = std::uint32_t;

// True when the path names an existing entry. On POSIX a symbolic link is
// one even when it points nowhere: its name is taken all the same. The
// second form also gives the system's reason when it answers false.
bool Exists(const Path& path);
bool Exists(const Path& path, OsError& error);

// True when `error` says only that the path names nothing: ENOENT, ENOTDIR;
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND. Any other reason (no
// permission, a loop of links, a path too long) is a failure to read.
bool IsNotFound(OsError error);

// The system's text for `error`, as UTF-8 without a final full stop
// ("Permission denied").
std::string ErrorText(OsError error);

// The path made absolute against the current directory; nullopt when the
// system refuses it. Length limits are the caller's. Windows normalises it
// as text (GetFullPathNameW); POSIX resolves the folder as the kernel does
// (a ".." after a symbolic link leaves the link's target), so the name is
// the file that opening the path reads.
std::optional<Path> FullPathName(const Path& path);

// A byte buffer that only grows, so a batch of files reuses one allocation.
class ByteBuffer {
public:
    std::uint8_t* Reserve(std::size_t size);  // contents are not preserved
    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
};

// How a read went; `error` is the system's reason for CannotOpen and
// ReadError, or 0 when the system gave none (a folder, a pipe, a file that
// shrank while it was read).
struct ReadStatus {
    enum Code { Ok, CannotOpen, TooLarge, ReadError };
    Code code = Ok;
    OsError error = 0;

    explicit operator bool() const { return code == Ok; }
    friend bool operator==(const ReadStatus& status, Code want) { return status.code == want; }
};

// Opens the file, measures it, and when it holds at most `limit` bytes reads
// it whole into `buffer`. `length` is set as soon as the file is measured.
ReadStatus ReadWholeFile(const Path& path, std::uint32_t limit, ByteBuffer& buffer, std::int32_t& length);

enum class CreateStatus { Ok, Exists, Failed };

// An output that appears whole or not at all: written under a temporary name
// in its folder (temporary_name.h), then claimed under its own name without
// replacing any file. Until Keep(), whatever it created is removed again by
// Discard(), the destructor and an interruption (interrupt.h), so no
// failure, interruption or crash leaves a partial file under an output name.
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    NewFile(NewFile&& other) noexcept = default;
    // What this one created and did not keep is removed first.
    NewFile& operator=(NewFile&& other) noexcept {
        if (this != &other) {
            Discard();
            file_ = std::move(other.file_);
            path_ = std::move(other.path_);
            claimed_ = std::exchange(other.claimed_, false);
            cleanup_ = std::move(other.cleanup_);
        }
        return *this;
    }
    ~NewFile() { Discard(); }

    // A fresh temporary beside `name`, created exclusively; on POSIX with
    // the read and write bits of `permissionsOf` (less the umask), so a
    // private source gives a private output. Ok or Failed.
    CreateStatus Create(const Path& name, const Path& permissionsOf);
    bool Write(std::span<const std::uint8_t> bytes);
    // Closes the temporary, its bytes on the disk first, so even a power cut
    // after the claim leaves the whole output. On an error it is removed.
    bool Close();
    // Gives the closed temporary `name` unless a file (a link, a folder)
    // already has it: Exists keeps the temporary for another name, Failed
    // removes it.
    CreateStatus Claim(const Path& name);
    // The claimed file stays: this one no longer removes it.
    void Keep() {
        if (!claimed_) return;
        cleanup_.Disarm();
        path_.clear();
        claimed_ = false;
    }
    // Removes the temporary, or the file claimed and not kept.
    void Discard();

private:
    // The temporary now has `name`: an interruption removes it there.
    CreateStatus Claimed(const Path& name) {
        path_ = name;
        claimed_ = true;
        cleanup_.Arm(path_);
        return CreateStatus::Ok;
    }

    UniqueFile file_;
    Path path_;  // the temporary, or once claimed, the output
    bool claimed_ = false;
    InterruptCleanup cleanup_;
};

// The path as UTF-8 text, for messages.
std::string ToUtf8(const Path& path);

// Opens the file with the desktop's default program, without waiting for it.
// What becomes of it is not reported: a viewer that does not start is no
// failed extraction. The Windows shell may still tell the user itself, in a
// message box owned by `owner` (no program for the type, a file gone).
void OpenInViewer(const Path& path, WindowHandle owner);

// The same for a console program, which may exit right after: returns once
// the launch is handed over and never shows a dialog. nullopt when the file
// went to a program, else why not, as one line of UTF-8 text
// ("no program opens .jpg files here").
std::optional<std::string> OpenForConsole(const Path& path);

}  // namespace vexlo::platform
