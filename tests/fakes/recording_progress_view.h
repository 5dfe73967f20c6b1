#pragma once
// A progress view that records every operation as a line, in order:
//   "text 1020 正在下载", "refresh 1020", "bar 1022 range32 0 11", "bar 1021 pos 5 0".
#include <string>
#include <vector>

#include "ui/progress_view.h"

namespace vaultaide::fakes {

class RecordingProgressView : public ProgressView {
public:
    void setControlText(int controlId, const std::string& text) override {
        log.push_back("text " + std::to_string(controlId) + " " + text);
    }
    void refreshControl(int controlId) override {
        log.push_back("refresh " + std::to_string(controlId));
    }
    void sendBarMessage(int controlId, BarMessage message, intptr_t wParam,
                        intptr_t lParam) override {
        const char* name = message == BarMessage::SetRange     ? "range"
                           : message == BarMessage::SetRange32 ? "range32"
                                                               : "pos";
        log.push_back("bar " + std::to_string(controlId) + " " + name + " " +
                      std::to_string(wParam) + " " + std::to_string(lParam));
    }
    std::vector<std::string> log;
};

}  // namespace vaultaide::fakes
