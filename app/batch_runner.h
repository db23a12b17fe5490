// The two batches of the main window, the files dropped on it and the
// program's own arguments, as plain logic over a few hooks, so that the
// ordering rules (flags, pictures, pop-ups, stopping) are tested without a
// window. The window supplies the hooks and calls the handlers from its
// drop target and timers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::app {

// The status picture for a result: 3 success, 1 unusable source, 0 nothing
// hidden, 2 failed save; -1 (leave the picture) for anything else.
int PictureForResult(std::int32_t result);

inline constexpr int kIdlePictureIndex = 4;

enum class WindowState { Normal, Minimized, Maximized };

struct BatchHooks {
    std::function<std::int32_t(const std::wstring& path)> processFile;
    std::function<void(int picture)> setPicture;
    std::function<void()> popUp;  // pumps window events: any handler may run inside
    std::function<WindowState()> windowState;
    std::function<void()> armIdleTimer;
};

class BatchRunner {
public:
    explicit BatchRunner(BatchHooks hooks) : hooks_(std::move(hooks)) {}

    // A drop; `files` is empty (nullopt) when the drop holds no file list.
    // Ignored while a batch runs.
    void Form_OLEDragDrop(const std::optional<std::vector<std::wstring>>& files);

    // The command-line batch over the argument text. Does not look at
    // BusyFlag, and pops the balloon up only while the window is normal.
    void tmrSTART_Timer(std::wstring_view argumentText);

    void tmrIDLE_Timer();

    // Positions 1..n hold the arguments of the command-line batch.
    std::vector<std::wstring> ArgList;

private:
    void ShowResult(std::int32_t result);

    BatchHooks hooks_;
};

}  // namespace vexlo::app
