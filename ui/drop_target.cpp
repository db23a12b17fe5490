#include "ui/drop_target.h"

#include <shellapi.h>

#include <new>

namespace vexlo::ui {
namespace {

// Nothing may unwind into ole32, which calls these methods: a failure
// becomes the HRESULT OLE knows for it.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

FORMATETC FileListFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

// Releases a storage medium filled in by IDataObject::GetData.
class Medium {
public:
    Medium() = default;
    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;
    ~Medium() {
        if (filled_) ::ReleaseStgMedium(&medium_);
    }
    bool Fill(IDataObject* data) {
        FORMATETC format = FileListFormat();
        filled_ = SUCCEEDED(data->GetData(&format, &medium_));
        return filled_;
    }
    HGLOBAL Global() const { return medium_.hGlobal; }

private:
    STGMEDIUM medium_ = {};
    bool filled_ = false;
};

// Locks an HGLOBAL for the length of a scope.
class GlobalLock {
public:
    explicit GlobalLock(HGLOBAL global) : global_(global), p_(::GlobalLock(global)) {}
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;
    ~GlobalLock() {
        if (p_) ::GlobalUnlock(global_);
    }
    void* get() const { return p_; }

private:
    HGLOBAL global_;
    void* p_;
};

}  // namespace

bool HoldsFileList(IDataObject* data) {
    FORMATETC format = FileListFormat();
    return data && data->QueryGetData(&format) == S_OK;
}

std::optional<std::vector<std::wstring>> DroppedFiles(IDataObject* data) {
    if (!HoldsFileList(data)) return std::nullopt;
    Medium medium;
    if (!medium.Fill(data)) return std::nullopt;
    const GlobalLock lock(medium.Global());
    const auto drop = static_cast<HDROP>(lock.get());
    if (!drop) return std::nullopt;

    std::vector<std::wstring> files;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(::DragQueryFileW(drop, i, nullptr, 0), L'\0');
        ::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
        files.push_back(std::move(path));
    }
    return files;
}

HRESULT STDMETHODCALLTYPE DropTarget::QueryInterface(REFIID riid, void** object) noexcept {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

DWORD DropTarget::Form_OLEDragOver(IDataObject* data, DWORD Effect) {
    return HoldsFileList(data) ? (Effect & DROPEFFECT_COPY) : DROPEFFECT_NONE;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) noexcept {
    return Guarded([&] {
        dragging_ = win::ComPtr<IDataObject>(data);
        if (effect) *effect = Form_OLEDragOver(data, *effect);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE DropTarget::DragOver(DWORD, POINTL, DWORD* effect) noexcept {
    return Guarded([&] {
        if (effect) *effect = Form_OLEDragOver(dragging_.get(), *effect);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE DropTarget::DragLeave() noexcept {
    dragging_.reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) noexcept {
    dragging_.reset();
    // The answer is the one effect performed, a copy, never the source's
    // whole set: a source that honours a move would delete the dropped
    // files. Until the files are handed over, nothing is performed.
    const DWORD allowed = effect ? *effect : DROPEFFECT_NONE;
    if (effect) *effect = DROPEFFECT_NONE;
    return Guarded([&] {
        // The window runs the batch once this has returned.
        if (onDrop_) onDrop_(DroppedFiles(data));
        if (effect) *effect = Form_OLEDragOver(data, allowed);
        return S_OK;
    });
}

}  // namespace vexlo::ui
