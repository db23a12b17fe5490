// The one owning wrapper for every handle kind on both platforms: move-only,
// closed exactly once, each kind with its own idea of "invalid" (CreateFileW
// fails with INVALID_HANDLE_VALUE, open() with -1, most others with null).
#pragma once

#include <cstdint>
#include <utility>

namespace vexlo::platform {

template <class T, auto Close, auto Invalid>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid(); }
    // Ownership passes to the caller (or, after SetWindowRgn, to the system).
    T release() { return std::exchange(value_, Invalid()); }
    void reset(T value = Invalid()) {
        if (value_ != Invalid()) Close(value_);
        value_ = value;
    }

private:
    T value_ = Invalid();
};

// An open file of the platform: a HANDLE on Windows, a descriptor on POSIX.
namespace detail {
#ifdef _WIN32
using NativeFile = void*;
inline NativeFile NoFile() { return reinterpret_cast<void*>(static_cast<std::intptr_t>(-1)); }
#else
using NativeFile = int;
inline NativeFile NoFile() { return -1; }
#endif
void CloseFile(NativeFile file);  // in the platform's layer
}  // namespace detail
using UniqueFile = UniqueAny<detail::NativeFile, detail::CloseFile, detail::NoFile>;

}  // namespace vexlo::platform
