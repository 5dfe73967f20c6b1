#pragma once
// The reporting every step does on the progress dialog.
#include <cstdint>
#include <string>

#include "ui/progress_view.h"

namespace vaultaide {

// "%.2lf%%": two decimals and a percent sign.
std::string formatPercent(double value);
// part of whole in percent; 0 when there is no whole to share (no division by zero).
double percentOf(double part, double whole);
// The same share computed as part / whole * 100, as completed units are shown: the two orders
// round apart at two decimals (23 of 160 is 14.37% here, 14.38% above).
double shareInPercent(double part, double whole);

void setStatusText(ProgressView& view, const std::string& text);
void setCurrentRange(ProgressView& view, int32_t low, int32_t high);
void setCurrentPos(ProgressView& view, int32_t position);
void setCurrentPercent(ProgressView& view, const std::string& text);
void setOverallRange32(ProgressView& view, int32_t low, int32_t high);
void setOverallRange16(ProgressView& view, uint16_t low, uint16_t high);
void setOverallPos(ProgressView& view, int32_t position);
void setOverallPercent(ProgressView& view, const std::string& text);
void setCancelCaption(ProgressView& view, const std::string& text);

}  // namespace vaultaide
