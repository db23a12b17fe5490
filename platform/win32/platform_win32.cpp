// Win32 layer of the engine. Wide-character functions throughout, so a file
// whose name the ANSI code page cannot hold is still found and processed.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <climits>
#include <string>

#include "platform/platform.h"
#include "platform/temporary_name.h"
#include "platform/win32/handles.h"
#include "platform/win32/source_share.h"

namespace vexlo::platform {
namespace {

constexpr DWORD kFullPathBuffer = 255;  // characters, terminator included

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x4000'0000 ? 0x4000'0000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

std::string ToUtf8(const Path& path) {
    if (path.empty()) return {};
    const int wide = static_cast<int>(path.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, path.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, path.data(), wide, text.data(), size, nullptr, nullptr);
    return text;
}

bool Exists(const Path& path) {
    OsError ignored = 0;
    return Exists(path, ignored);
}

bool Exists(const Path& path, OsError& error) {
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    error = ::GetLastError();
    return false;
}

bool IsNotFound(OsError error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

std::string ErrorText(OsError error) {
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return "error " + std::to_string(error);
    Path message(text, length);
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return ToUtf8(message);
}

std::optional<Path> FullPathName(const Path& path) {
    Path buffer(kFullPathBuffer, L'\0');
    DWORD count = ::GetFullPathNameW(path.c_str(), kFullPathBuffer, buffer.data(), nullptr);
    if (count == 0) return std::nullopt;
    if (count >= kFullPathBuffer) {
        // Too long for the limit: fetch it whole anyway so the caller sees its true length.
        buffer.assign(count, L'\0');
        count = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (count == 0 || count >= buffer.size()) return std::nullopt;
    }
    buffer.resize(count);
    return buffer;
}

ReadStatus ReadWholeFile(const Path& path, std::uint32_t limit, ByteBuffer& buffer, std::int32_t& length) {
    // Directories fail here: without FILE_FLAG_BACKUP_SEMANTICS they cannot be opened.
    const win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, kSourceShareMode, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return {ReadStatus::CannotOpen, ::GetLastError()};
    length = size.QuadPart > INT_MAX ? INT_MAX : static_cast<std::int32_t>(size.QuadPart);
    if (size.QuadPart > static_cast<LONGLONG>(limit)) return {ReadStatus::TooLarge};

    const auto total = static_cast<std::size_t>(size.QuadPart);
    std::uint8_t* data = buffer.Reserve(total);
    std::size_t done = 0;
    while (done < total) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), data + done, static_cast<DWORD>(total - done), &got, nullptr)) {
            return {ReadStatus::ReadError, ::GetLastError()};
        }
        if (got == 0) return {ReadStatus::ReadError};  // the file shrank
        done += got;
    }
    return {};
}

void detail::CloseFile(NativeFile file) { ::CloseHandle(file); }

namespace {

// Where the temporary's six letters come from: unpredictable enough that two
// runs in one folder rarely meet; when they do, the exclusive create retries.
std::uint64_t TemporarySeed(unsigned attempt) {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    return (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 40) ^ static_cast<std::uint64_t>(counter.QuadPart) ^
           (static_cast<std::uint64_t>(::GetTickCount()) << 20) ^ (static_cast<std::uint64_t>(attempt) << 56);
}

// The temporary's name is longer than the output's: beyond MAX_PATH it needs
// the \\?\ form, which takes a full path as GetFullPathNameW makes it.
Path Unlimited(const Path& path) {
    if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\")) return path;
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() > 2 && path[1] == L':') return L"\\\\?\\" + path;
    return path;
}

}  // namespace

CreateStatus NewFile::Create(const Path& name, const Path& /*permissionsOf*/) {
    Discard();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const Path temporary = Unlimited(TemporaryName(name, TemporarySeed(attempt)));
        // FILE_SHARE_DELETE: an interruption's handler, on its own thread,
        // can delete it while this thread still writes.
        file_.reset(::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_) {
            path_ = temporary;
            cleanup_.Arm(path_);
            return CreateStatus::Ok;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return CreateStatus::Failed;
}

bool NewFile::Write(std::span<const std::uint8_t> bytes) {
    return file_ && WriteAll(file_.get(), bytes.data(), bytes.size());
}

bool NewFile::Close() {
    if (!file_) return !path_.empty();  // closed before
    const HANDLE file = file_.release();
    const bool flushed = ::FlushFileBuffers(file) != 0;
    if (!::CloseHandle(file) || !flushed) {
        Discard();
        return false;
    }
    return true;
}

CreateStatus NewFile::Claim(const Path& name) {
    if (file_ || path_.empty() || claimed_) return CreateStatus::Failed;
    // Without MOVEFILE_REPLACE_EXISTING an existing file is never replaced.
    if (!::MoveFileExW(path_.c_str(), name.c_str(), 0)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return CreateStatus::Exists;
        Discard();
        return CreateStatus::Failed;
    }
    return Claimed(name);
}

void NewFile::Discard() {
    file_.reset();
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
    cleanup_.Disarm();
    path_.clear();
    claimed_ = false;
}

void OpenInViewer(const Path& path, WindowHandle owner) {
    // The result is deliberately ignored: a missing viewer is not a failed extraction.
    ::ShellExecuteW(static_cast<HWND>(owner), L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

namespace {

// The shell's launch may go through COM (shell extensions, DDE): an
// apartment for this thread unless it has one, undone when done here.
class ComApartment {
public:
    ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }

private:
    HRESULT hr_;
};

// The final component's extension, dot included; empty when it has none.
Path ExtensionOf(const Path& path) {
    const std::size_t name = path.find_last_of(L"\\/:");
    const std::size_t dot = path.rfind(L'.');
    return dot == Path::npos || (name != Path::npos && dot < name) ? Path() : path.substr(dot);
}

}  // namespace

std::optional<std::string> OpenForConsole(const Path& path) {
    const ComApartment com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // NOASYNC: the launch is complete before this returns, as a process that
    // exits right after needs. NO_UI: a failure is ours to report, in the
    // console, not in a dialog box that a console program would wait on.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info)) return std::nullopt;
    const DWORD error = ::GetLastError();
    // Windows says ERROR_NO_ASSOCIATION; Wine's shell only SE_ERR_NOASSOC in hInstApp.
    if (error == ERROR_NO_ASSOCIATION || reinterpret_cast<INT_PTR>(info.hInstApp) == SE_ERR_NOASSOC) {
        const Path extension = ExtensionOf(path);
        return extension.empty() ? "no program opens files without an extension here"
                                 : "no program opens " + ToUtf8(extension) + " files here";
    }
    return "cannot open " + ToUtf8(path) + " (error " + std::to_string(error) + ")";
}

}  // namespace vexlo::platform
