#include "app/batch_runner.h"

#include "app/app_state.h"
#include "app/command_line.h"

namespace vexlo::app {

int PictureForResult(std::int32_t result) {
    constexpr int kPictures[] = {3, 1, 1, 1, 0, 2, 2};
    return result >= 0 && result < 7 ? kPictures[result] : -1;
}

void BatchRunner::ShowResult(std::int32_t result) {
    if (const int picture = PictureForResult(result); picture >= 0) hooks_.setPicture(picture);
}

void BatchRunner::Form_OLEDragDrop(const std::optional<std::vector<std::wstring>>& files) {
    if (app::BusyFlag) return;  // dropped while busy: ignored, not queued
    app::BusyFlag = true;
    app::StopFlag = false;
    if (files) {
        for (const std::wstring& path : *files) {
            ShowResult(hooks_.processFile(path));
            hooks_.popUp();
            if (app::StopFlag) break;
        }
    }
    app::BusyFlag = false;
    hooks_.armIdleTimer();
}

void BatchRunner::tmrSTART_Timer(std::wstring_view argumentText) {
    app::StopFlag = false;
    app::BusyFlag = true;
    ArgList = ParseCommandLine(argumentText);
    const std::size_t n = ArgList.size() - 1;
    for (std::size_t i = 1; i <= n; ++i) {
        const std::wstring path = ArgList[i];  // a copy: the pop-up's pump may run other handlers
        ShowResult(hooks_.processFile(path));
        // Minimized or maximized: no pop-up, so no events are pumped either.
        if (hooks_.windowState() == WindowState::Normal) hooks_.popUp();
        if (app::StopFlag) break;
    }
    app::BusyFlag = false;
    hooks_.armIdleTimer();
}

void BatchRunner::tmrIDLE_Timer() { hooks_.setPicture(kIdlePictureIndex); }

}  // namespace vexlo::app
