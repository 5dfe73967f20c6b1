// vaultaide-publish: the vendor's release tool.
//   keygen --out DIR      makes a key folder (envelope pair and manifest signing pair)
//   seal --keys DIR       standard input (plaintext) to envelope text on standard output
//   open --keys DIR       standard input (envelope text) to plaintext on standard output
//   manifest --common DIR --bank DIR --code HEX --version V --keys DIR --out DIR
//                         a served release tree: both sets' files and their signed manifests,
//                         which name the release version and the bank code
//   verify --keys DIR FILE...   checks the signature of manifests
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <map>
#include <string>

#include "../common/key_folder.h"
#include "app/system_utils.h"
#include "keygen.h"
#include "manifest_writer.h"
#include "packages/signed_manifests.h"
#include "protocol/envelope.h"

namespace {

int usage() {
    std::cerr << "usage: vaultaide-publish keygen --out DIR\n"
                 "       vaultaide-publish seal --keys DIR   < plaintext\n"
                 "       vaultaide-publish open --keys DIR   < envelope text\n"
                 "       vaultaide-publish manifest --common DIR --bank DIR --code HEX "
                 "--version V --keys DIR --out DIR\n"
                 "       vaultaide-publish verify --keys DIR FILE...\n";
    return 2;
}

// Says why a manifest does not verify, most specific reason first.
std::string whyUnverified(const std::string& bytes, const std::string& publicKey) {
    std::string message, signature;
    if (!vaultaide::signedMessage(bytes, message, signature))
        return "no signature block (CR LF \"<Sign>\" 273 bytes before the last \"<\")";
    if (!vaultaide::verifySignedBytes(bytes, publicKey))
        return "the signature does not match the content or the key";
    return "";
}

int verify(int argc, char** argv) {
    using namespace vaultaide;
    std::string publicKey;
    const std::string keyPath = std::string(argv[3]) + "/" + tools::kManifestPublicKeyFile;
    if (!tools::readTextFile(keyPath, publicKey)) {
        std::cerr << "verify: cannot read " << keyPath << "\n";
        return 1;
    }
    int failures = 0;
    for (int i = 4; i < argc; ++i) {
        std::string bytes, reason;
        if (!tools::readTextFile(argv[i], bytes))
            reason = "cannot read the file";
        else
            reason = whyUnverified(bytes, publicKey);
        std::cout << argv[i] << ": " << (reason.empty() ? "signature valid" : "FAILED: " + reason)
                  << "\n";
        failures += !reason.empty();
    }
    return failures ? 1 : 0;
}

int manifest(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 2; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    for (const char* required : {"--common", "--bank", "--code", "--version", "--keys", "--out"})
        if (!options.count(required)) return usage();
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
    if (argc >= 2 && std::string(argv[1]) == "manifest") return manifest(argc, argv);
    if (argc >= 5 && std::string(argv[1]) == "verify" && std::string(argv[2]) == "--keys")
        return verify(argc, argv);
    if (argc != 4) return usage();
    const std::string command = argv[1], option = argv[2], folder = argv[3];
    std::string error;
    if (command == "keygen" && option == "--out") {
        if (!tools::generateKeyFolder(folder, error)) {
            std::cerr << "keygen: " << error << "\n";
            return 1;
        }
        std::cout << "keys written to " << folder << "\n";
        return 0;
    }
    if ((command != "seal" && command != "open") || option != "--keys") return usage();
    EnvelopeKeyPair keys;
    if (!tools::readEnvelopeKeys(folder, keys, error)) {
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
