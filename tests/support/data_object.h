// A drag source for the drop-target tests, as OLE hands it over.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"

namespace vexlo::test {

inline void AppendWide(Bytes& bytes, const std::wstring& text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.c_str());
    bytes.insert(bytes.end(), p, p + (text.size() + 1) * sizeof(wchar_t));  // with its terminator
}

// What a drag source offers: a file list (CF_HDROP, wide names) or plain
// text (CF_UNICODETEXT). The test owns it; the count only shows whether the
// drop target let go of every reference it took.
class DataObject final : public IDataObject {
public:
    DataObject(std::optional<std::vector<std::wstring>> files, std::optional<std::wstring> text)
        : files_(std::move(files)), text_(std::move(text)) {}
    DataObject(const DataObject&) = delete;
    DataObject& operator=(const DataObject&) = delete;
    ULONG refs() const { return refs_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!medium) return E_POINTER;
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        Bytes bytes;
        if (format->cfFormat == CF_HDROP) {
            DROPFILES header = {};
            header.pFiles = sizeof(DROPFILES);
            header.fWide = TRUE;
            const auto* p = reinterpret_cast<const std::uint8_t*>(&header);
            bytes.assign(p, p + sizeof(header));
            for (const std::wstring& file : *files_) AppendWide(bytes, file);
            AppendWide(bytes, L"");  // the list ends with an empty name
        } else {
            AppendWide(bytes, *text_);
        }
        // Fixed memory: the handle is the pointer. The caller's ReleaseStgMedium frees it.
        const HGLOBAL global = ::GlobalAlloc(GMEM_FIXED, bytes.size());
        if (!global) return E_OUTOFMEMORY;
        std::memcpy(global, bytes.data(), bytes.size());
        *medium = {};
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = global;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format) return E_POINTER;
        const bool offered = (format->cfFormat == CF_HDROP && files_) || (format->cfFormat == CF_UNICODETEXT && text_);
        if (!offered || format->dwAspect != DVASPECT_CONTENT || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::optional<std::vector<std::wstring>> files_;
    std::optional<std::wstring> text_;
    ULONG refs_ = 0;
};

}  // namespace vexlo::test
