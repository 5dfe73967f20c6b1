#pragma once
// The process figures every Prometheus exporter gives, read from /proc.
#include <string>

namespace vaultaide::tools {

// process_cpu_seconds_total, process_resident_memory_bytes, process_open_fds, process_max_fds
// and process_start_time_seconds in the text exposition format; figures /proc does not give
// are left out.
std::string processExposition();

}  // namespace vaultaide::tools
