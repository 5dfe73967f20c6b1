#include "process_stats.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace vaultaide::tools {

namespace {

std::string figure(const char* name, const char* type, const char* help, double value) {
    char number[64];
    std::snprintf(number, sizeof number, "%.15g", value);
    return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" +
           name + " " + number + "\n";
}

// The fields of /proc/self/stat after the command name, which may itself hold spaces and ")".
std::vector<std::string> statFields() {
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos) return fields;
    std::istringstream rest(text.substr(close + 1));
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}

// Seconds since the epoch at which the machine booted.
double bootTime() {
    std::ifstream in("/proc/stat");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, 6, "btime ") == 0) return std::stod(line.substr(6));
    return -1;
}

int openDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1;  // the one opendir holds
}

}  // namespace

std::string processExposition() {
    std::string out;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
    // Counted from the state field, the 3rd of the file: utime 14, stime 15, starttime 22, rss 24.
    const auto fields = statFields();
    if (fields.size() > 21 && ticks > 0) {
        out += figure("process_cpu_seconds_total", "counter",
                      "User and system CPU time spent in seconds.",
                      (std::stod(fields[11]) + std::stod(fields[12])) / ticks);
        out += figure("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
                      std::stod(fields[21]) * page);
        const double boot = bootTime();
        if (boot >= 0)
            out += figure("process_start_time_seconds", "gauge",
                          "Start time of the process since unix epoch in seconds.",
                          boot + std::stod(fields[19]) / ticks);
    }
    const int open = openDescriptors();
    if (open >= 0)
        out += figure("process_open_fds", "gauge", "Number of open file descriptors.", open);
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        out += figure("process_max_fds", "gauge", "Maximum number of open file descriptors.",
                      static_cast<double>(limit.rlim_cur));
    return out;
}

}  // namespace vaultaide::tools
