// vaultaide-publish: the vendor's release tool.
//   keygen --out DIR      makes a key folder (envelope pair and manifest signing pair)
//   seal --keys DIR       standard input (plaintext) to envelope text on standard output
//   open --keys DIR       standard input (envelope text) to plaintext on standard output
//   manifest --common DIR --bank DIR --code HEX --version V --keys DIR --out DIR
//                         a served release tree: both sets' files and their signed manifests,
//                         which name the release version and the bank code
//   verify --keys DIR FILE...|FOLDER
//                         checks the signature of manifests and prints the release they name;
//                         given a release folder, also every file against its manifest
//   --help                the usage
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "../common/key_folder.h"
#include "app/system_utils.h"
#include "keygen.h"
#include "manifest_writer.h"
#include "protocol/envelope.h"
#include "release_check.h"

namespace {

using Options = std::map<std::string, std::string>;

// The options each command takes, all of them required, each followed by its value.
const std::map<std::string, std::vector<std::string>> kCommandOptions = {
    {"keygen", {"--out"}},  // the key folder to make
    {"seal", {"--keys"}},   // the envelope pair's folder
    {"open", {"--keys"}},   // the envelope pair's folder
    {"manifest",
     {"--common", "--bank", "--code", "--version", "--keys", "--out"}},  // two sets, one tree
    {"verify", {"--keys"}},  // and the manifests as further arguments
};

const char* kUsage =
    "usage: vaultaide-publish keygen --out DIR\n"
    "       vaultaide-publish seal --keys DIR   < plaintext\n"
    "       vaultaide-publish open --keys DIR   < envelope text\n"
    "       vaultaide-publish manifest --common DIR --bank DIR --code HEX --version V "
    "--keys DIR --out DIR\n"
    "       vaultaide-publish verify --keys DIR FILE...|RELEASE_DIR\n"
    "       vaultaide-publish --help\n";

int usage(const std::string& why) {
    std::cerr << "vaultaide-publish: " << why << "\n" << kUsage;
    return 2;
}

// Reads the arguments after the command into its options and, where it takes them (files is
// given), its other arguments; empty, or why the command line is not one the command takes.
std::string readArguments(int argc, char** argv, const std::vector<std::string>& names,
                          Options& options, std::vector<std::string>* files) {
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.empty() || argument[0] != '-') {
            if (!files) return "unexpected argument \"" + argument + "\"";
            files->push_back(argument);
        } else if (std::find(names.begin(), names.end(), argument) == names.end()) {
            return "unknown option \"" + argument + "\"";
        } else if (options.count(argument)) {
            return argument + " given twice";
        } else if (i + 1 == argc || !*argv[i + 1]) {
            return argument + " needs a value";
        } else {
            options[argument] = argv[++i];
        }
    }
    for (const auto& name : names)
        if (!options.count(name)) return name + " is missing";
    if (files && files->empty()) return "no manifest file to verify";
    return "";
}

int verify(const Options& options, const std::vector<std::string>& files) {
    using namespace vaultaide;
    std::string publicKey;
    const std::string keyPath = options.at("--keys") + "/" + tools::kManifestPublicKeyFile;
    if (!tools::readTextFile(keyPath, publicKey)) {
        std::cerr << "verify: cannot read " << keyPath << "\n";
        return 1;
    }
    int failures = 0;
    for (const auto& file : files) {
        std::error_code ec;
        failures += std::filesystem::is_directory(file, ec)
                        ? tools::checkReleaseFolder(file, publicKey, std::cout)
                        : tools::checkManifest(file, publicKey, std::cout);
    }
    return failures ? 1 : 0;
}

int manifest(Options& options) {
    std::string error;
    const std::string& codeText = options["--code"];
    if (codeText.empty() || codeText.size() > 3 ||
        codeText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        std::cerr << "manifest: --code takes the bank code in hexadecimal, at most fff\n";
        return 1;
    }
    const int code = static_cast<int>(std::strtol(codeText.c_str(), nullptr, 16));
    if (!vaultaide::isServerVersionText(options["--version"])) {
        std::cerr << "manifest: --version takes the release version the server announces: "
                     "four numbers of 1 to 5 digits, as 1.0.0.2\n";
        return 1;
    }
    if (!vaultaide::tools::publishRelease(options["--common"], options["--bank"], code,
                                          options["--keys"], options["--out"], error,
                                          options["--version"])) {
        std::cerr << "manifest: " << error << "\n";
        return 1;
    }
    std::cout << "release written to " << options["--out"] << "\n";
    return 0;
}

std::string readStdin() {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vaultaide;
    const std::string command = argc >= 2 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    const auto known = kCommandOptions.find(command);
    if (known == kCommandOptions.end())
        return usage(command.empty() ? "no command" : "unknown command \"" + command + "\"");
    Options options;
    std::vector<std::string> files;
    const std::string wrong =
        readArguments(argc, argv, known->second, options, command == "verify" ? &files : nullptr);
    if (!wrong.empty()) return usage(command + ": " + wrong);
    if (command == "manifest") return manifest(options);
    if (command == "verify") return verify(options, files);
    std::string error;
    if (command == "keygen") {
        const std::string& folder = options["--out"];
        if (!tools::generateKeyFolder(folder, error)) {
            std::cerr << "keygen: " << error << "\n";
            return 1;
        }
        std::cout << "keys written to " << folder << "\n";
        return 0;
    }
    EnvelopeKeyPair keys;
    if (!tools::readEnvelopeKeys(options["--keys"], keys, error)) {
        std::cerr << command << ": " << error << "\n";
        return 1;
    }
    std::string input = readStdin();
    if (command == "open")
        while (!input.empty() && std::isspace(static_cast<unsigned char>(input.back())))
            input.pop_back();
    std::string output;
    if (command == "seal") {
        if (!sealEnvelope(keys, input, output)) {
            std::cerr << "seal: the message key could not be encrypted\n";
            return 1;
        }
        std::cout << output << "\n";
        return 0;
    }
    if (!openServerAnswer(keys, input, output)) {
        std::cerr << "open: not an envelope of this key pair (length, format or digest)\n";
        return 1;
    }
    std::cout << output;
    return 0;
}
