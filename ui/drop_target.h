// The main window as an OLE drop target. A drag is offered a copy when it
// carries a file list (CF_HDROP) and the source allows copying; everything
// else is refused. A drop hands the file list, in the source's order, to the
// window's handler; whether it is used (a batch may be running) is not
// decided here. It answers a copy (or nothing), never the source's own set
// of effects. No method lets an exception reach OLE.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win/com_ptr.h"

namespace vexlo::ui {

// The dropped paths, or nullopt when the data object holds no file list.
std::optional<std::vector<std::wstring>> DroppedFiles(IDataObject* data);

bool HoldsFileList(IDataObject* data);

class DropTarget final : public IDropTarget {
public:
    using DropHandler = std::function<void(const std::optional<std::vector<std::wstring>>& files)>;

    explicit DropTarget(DropHandler onDrop) : onDrop_(std::move(onDrop)) {}
    DropTarget(const DropTarget&) = delete;
    DropTarget& operator=(const DropTarget&) = delete;
    ~DropTarget() = default;

    // The window owns this object; OLE's references only keep the count.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return --refs_; }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) noexcept override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) noexcept override;
    HRESULT STDMETHODCALLTYPE DragLeave() noexcept override;
    // The file list goes to the handler; *effect becomes DROPEFFECT_COPY
    // when the drag-over rule takes the drop, DROPEFFECT_NONE otherwise.
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) noexcept override;

    // The drag-over rule: the allowed effects AND copy for a file list, none otherwise.
    static DWORD Form_OLEDragOver(IDataObject* data, DWORD Effect);

private:
    DropHandler onDrop_;
    win::ComPtr<IDataObject> dragging_;  // DragOver is not given the data object again
    ULONG refs_ = 0;
};

}  // namespace vexlo::ui
