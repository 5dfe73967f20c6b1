#include "key_folder.h"

#include <sys/stat.h>

#include <cctype>
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

bool writeTextFile(const std::string& path, const std::string& text, bool secret) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    if (secret) chmod(path.c_str(), 0600);
    out << text;
    return static_cast<bool>(out.flush());
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
