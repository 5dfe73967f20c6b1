#include "ui/progress_reporting.h"

#include <cstdio>

namespace vaultaide {

std::string formatPercent(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2lf%%", value);
    return text;
}

double percentOf(double part, double whole) { return whole == 0 ? 0.0 : part * 100.0 / whole; }

double shareInPercent(double part, double whole) { return whole == 0 ? 0.0 : part / whole * 100.0; }

void setStatusText(ProgressView& view, const std::string& text) {
    view.setControlText(kStatusLabel, text);
    view.refreshControl(kStatusLabel);
}

void setCurrentRange(ProgressView& view, int32_t low, int32_t high) {
    view.sendBarMessage(kCurrentBar, BarMessage::SetRange32, low, high);
}

void setCurrentPos(ProgressView& view, int32_t position) {
    view.sendBarMessage(kCurrentBar, BarMessage::SetPos, position, 0);
}

void setCurrentPercent(ProgressView& view, const std::string& text) {
    view.setControlText(kCurrentPercentLabel, text);
    view.refreshControl(kCurrentPercentLabel);
}

void setOverallRange32(ProgressView& view, int32_t low, int32_t high) {
    view.sendBarMessage(kOverallBar, BarMessage::SetRange32, low, high);
}

void setOverallRange16(ProgressView& view, uint16_t low, uint16_t high) {
    view.sendBarMessage(kOverallBar, BarMessage::SetRange, 0,
                        static_cast<intptr_t>(low) | (static_cast<intptr_t>(high) << 16));
}

void setOverallPos(ProgressView& view, int32_t position) {
    view.sendBarMessage(kOverallBar, BarMessage::SetPos, position, 0);
}

void setOverallPercent(ProgressView& view, const std::string& text) {
    view.setControlText(kOverallPercentLabel, text);
    view.refreshControl(kOverallPercentLabel);
}

void setCancelCaption(ProgressView& view, const std::string& text) {
    view.setControlText(kCancelButton, text);
}

}  // namespace vaultaide
