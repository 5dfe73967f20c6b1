#include "ui/progress_bar.h"

namespace vaultaide {

int32_t barFillWidth(int32_t clientWidth, int32_t low, int32_t high, int32_t position) {
    const double span = static_cast<double>(high) - static_cast<double>(low);
    if (span == 0 || clientWidth <= 0) return 0;
    const double width = static_cast<double>(clientWidth) / span * position;
    if (!(width > 0)) return 0;
    return width >= clientWidth ? clientWidth : static_cast<int32_t>(width);
}

}  // namespace vaultaide
