// COM ownership: a minimal owning COM pointer (AddRef on copy-in, Release
// on reset) and OLE's initialisation for the life of a scope.
#pragma once

#include <ole2.h>
#include <unknwn.h>

#include <utility>

namespace vexlo::win {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// OLE for this thread (drag and drop needs it), undone at the end of the scope.
class OleSession {
public:
    OleSession() : ok_(SUCCEEDED(::OleInitialize(nullptr))) {}
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    ~OleSession() {
        if (ok_) ::OleUninitialize();
    }

private:
    bool ok_;
};

}  // namespace vexlo::win
