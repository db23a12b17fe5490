// POSIX counterpart of the Win32 layer. Full paths are absolute against the
// current directory with their folder resolved physically, as the kernel
// resolves it when the file is opened.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/temporary_name.h"

extern char** environ;

namespace vexlo::platform {
namespace {

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

OsError LastError() { return static_cast<OsError>(errno); }

}  // namespace

std::string ToUtf8(const Path& path) { return path; }

bool Exists(const Path& path) {
    OsError ignored = 0;
    return Exists(path, ignored);
}

bool Exists(const Path& path, OsError& error) {
    struct stat st {};
    if (path.empty()) {
        error = ENOENT;
        return false;
    }
    // lstat: a dangling link still holds its name, and creating a file there
    // would be refused (or follow it), so it is no free name.
    if (::lstat(path.c_str(), &st) == 0) return true;
    error = LastError();
    return false;
}

bool IsNotFound(OsError error) { return error == ENOENT || error == ENOTDIR; }

std::string ErrorText(OsError error) { return std::strerror(static_cast<int>(error)); }

namespace {

// ".", ".." and repeated separators removed as text; a trailing separator
// stays, as it does on Windows, so "dir/" keeps an empty final component.
std::optional<Path> TextualFullPath(const Path& path) {
    Path joined = path;
    if (path.front() != '/') {
        std::vector<char> cwd(PATH_MAX + 1);
        if (::getcwd(cwd.data(), cwd.size()) == nullptr) return std::nullopt;
        joined = Path(cwd.data()) + "/" + path;
    }
    std::vector<Path> parts;
    std::size_t start = 1;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == Path::npos) end = joined.size();
        Path part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    Path full;
    for (const Path& part : parts) full += "/" + part;
    const bool trailing = joined.back() == '/' || joined.ends_with("/.") || joined.ends_with("/..");
    if (full.empty() || trailing) full += "/";
    return full;
}

// The folder's physical path; nullopt when it cannot be resolved (missing,
// not searchable, too long).
std::optional<Path> RealFolder(const Path& folder) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return Path(real.get());
}

}  // namespace

std::optional<Path> FullPathName(const Path& path) {
    if (path.empty() || path.find('\0') != Path::npos) return std::nullopt;
    const std::size_t slash = path.rfind('/');
    const Path name = slash == Path::npos ? path : path.substr(slash + 1);
    // A path ending in a folder ("dir/", "a/..") is that folder; only a file
    // name keeps its own last component unresolved, so a link there stays
    // the link's name.
    if (name.empty() || name == "." || name == "..") {
        const std::optional<Path> real = RealFolder(path);
        if (!real) return TextualFullPath(path);
        return *real == "/" ? *real : *real + "/";
    }
    const Path folder = slash == Path::npos ? Path(".") : (slash == 0 ? Path("/") : path.substr(0, slash));
    const std::optional<Path> real = RealFolder(folder);
    // A folder that cannot be resolved holds no file to read; the text still names one.
    if (!real) return TextualFullPath(path);
    return (*real == "/" ? *real : *real + "/") + name;
}

ReadStatus ReadWholeFile(const Path& path, std::uint32_t limit, ByteBuffer& buffer, std::int32_t& length) {
    const UniqueFile fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));  // a FIFO must not block the batch
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) return {ReadStatus::CannotOpen, LastError()};
    if (!S_ISREG(st.st_mode)) return {ReadStatus::CannotOpen};
    length = st.st_size > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(st.st_size);
    if (st.st_size > static_cast<off_t>(limit)) return {ReadStatus::TooLarge};

    const auto size = static_cast<std::size_t>(st.st_size);
    std::uint8_t* data = buffer.Reserve(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd.get(), data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {ReadStatus::ReadError, LastError()};
        if (n == 0) return {ReadStatus::ReadError};  // the file shrank
        done += static_cast<std::size_t>(n);
    }
    return {};
}

void detail::CloseFile(NativeFile file) { ::close(file); }

namespace {

// Where the temporary's six letters come from: unpredictable enough that two
// runs in one folder rarely meet; when they do, the exclusive create retries.
std::uint64_t TemporarySeed(unsigned attempt) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<std::uint64_t>(::getpid()) << 40) ^ (static_cast<std::uint64_t>(now.tv_sec) << 20) ^
           static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(attempt) << 56);
}

// The read and write bits of `path`; all of them when it cannot be examined.
mode_t ReadWriteBits(const Path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0666) : 0666;
}

}  // namespace

CreateStatus NewFile::Create(const Path& name, const Path& permissionsOf) {
    Discard();
    const mode_t mode = ReadWriteBits(permissionsOf);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const Path temporary = TemporaryName(name, TemporarySeed(attempt));
        file_.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (file_) {
            path_ = temporary;
            cleanup_.Arm(path_);
            return CreateStatus::Ok;
        }
        if (errno != EEXIST) break;
    }
    return CreateStatus::Failed;
}

bool NewFile::Write(std::span<const std::uint8_t> bytes) {
    return file_ && WriteAll(file_.get(), bytes.data(), bytes.size());
}

bool NewFile::Close() {
    if (!file_) return !path_.empty();  // closed before
    const int fd = file_.release();
    const bool synced = ::fdatasync(fd) == 0 || errno == EINVAL;  // EINVAL: a file system that cannot sync
    if (::close(fd) != 0 || !synced) {
        Discard();
        return false;
    }
    return true;
}

CreateStatus NewFile::Claim(const Path& name) {
    if (file_ || path_.empty() || claimed_) return CreateStatus::Failed;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
        return Claimed(name);
    }
    if (errno == EEXIST) return CreateStatus::Exists;
    // Older kernels and some file systems (NFS, FUSE) know no RENAME_NOREPLACE.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        Discard();
        return CreateStatus::Failed;
    }
#endif
    // link() never replaces a file either; the temporary's name goes after.
    if (::link(path_.c_str(), name.c_str()) != 0) {
        if (errno == EEXIST) return CreateStatus::Exists;
        Discard();
        return CreateStatus::Failed;
    }
    ::unlink(path_.c_str());
    return Claimed(name);
}

void NewFile::Discard() {
    file_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
    cleanup_.Disarm();
    path_.clear();
    claimed_ = false;
}

namespace {

// Starts xdg-open on the file, detached: a double fork, so the viewer is
// neither waited for nor left a zombie. 0, or the errno of the start.
int StartXdgOpen(const Path& path) {
    const pid_t child = ::fork();
    if (child < 0) return errno;
    if (child == 0) {
        ::setsid();
        char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t viewer = 0;
        const int rc = posix_spawnp(&viewer, "xdg-open", &actions, nullptr, argv, environ);
        ::_exit(rc > 0 && rc < 256 ? rc : (rc == 0 ? 0 : EIO));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return errno;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : EIO;
}

}  // namespace

void OpenInViewer(const Path& path, WindowHandle /*owner*/) {
    // A missing xdg-open is not a failed extraction.
    StartXdgOpen(path);
}

std::optional<std::string> OpenForConsole(const Path& path) {
    const int error = StartXdgOpen(path);
    if (error == 0) return std::nullopt;
    if (error == ENOENT) return "no program opens files here: xdg-open is not installed";
    return std::string("cannot start xdg-open: ") + std::strerror(error);
}

}  // namespace vexlo::platform
