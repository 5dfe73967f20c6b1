#include "key_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace vaultaide::tools {

bool readTextFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

bool writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    return static_cast<bool>(out.flush());
}

bool createNewFile(const std::string& path, const std::string& text, unsigned mode,
                   std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(mode));
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    // The mode asked for, whatever the umask took away or left.
    const bool ok =
        done == text.size() && fchmod(fd, static_cast<mode_t>(mode)) == 0 && fsync(fd) == 0;
    const int savedErrno = errno;
    if (close(fd) != 0 || !ok) {
        error = "cannot write " + path + ": " + std::strerror(ok ? errno : savedErrno);
        unlink(path.c_str());
        return false;
    }
    return true;
}

bool readEnvelopeKeys(const std::string& folder, EnvelopeKeyPair& keys, std::string& error) {
    const std::string path = folder + "/" + kEnvelopeKeyFile;
    std::string text;
    if (!readTextFile(path, text)) {
        error = "cannot read " + path;
        return false;
    }
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // A file edited on Windows has CR LF line ends; the values are the same.
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.pop_back();
        const auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    EnvelopeKeyPair read;
    std::pair<const char*, std::string*> fields[] = {
        {"N", &read.N}, {"E", &read.E},   {"D", &read.D},   {"P", &read.P},
        {"Q", &read.Q}, {"DP", &read.DP}, {"DQ", &read.DQ}, {"QP", &read.QP},
    };
    for (auto& [name, field] : fields) {
        if (values[name].empty()) {
            error = path + " has no " + name;
            return false;
        }
        if (values[name].find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            error = path + ": " + name + " is not hexadecimal";
            return false;
        }
        *field = values[name];
    }
    keys = read;
    return true;
}

std::string formatEnvelopeKeys(const EnvelopeKeyPair& keys) {
    return "N=" + keys.N + "\nE=" + keys.E + "\nD=" + keys.D + "\nP=" + keys.P + "\nQ=" + keys.Q +
           "\nDP=" + keys.DP + "\nDQ=" + keys.DQ + "\nQP=" + keys.QP + "\n";
}

}  // namespace vaultaide::tools
