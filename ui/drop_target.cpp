#include "ui/drop_target.h"

#include <shellapi.h>

namespace vexlo::ui {
namespace {

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

HRESULT STDMETHODCALLTYPE DropTarget::QueryInterface(REFIID riid, void** object) {
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

HRESULT STDMETHODCALLTYPE DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    dragging_ = win::ComPtr<IDataObject>(data);
    if (effect) *effect = Form_OLEDragOver(data, *effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (effect) *effect = Form_OLEDragOver(dragging_.get(), *effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragLeave() {
    dragging_.reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD*) {
    dragging_.reset();
    // The effect goes back as it came; the window runs the batch once this
    // has returned.
    if (onDrop_) onDrop_(DroppedFiles(data));
    return S_OK;
}

}  // namespace vexlo::ui
