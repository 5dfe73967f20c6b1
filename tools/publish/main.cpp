// vaultaide-publish: the vendor's release tool.
//   keygen --out DIR      makes a key folder (envelope pair and manifest signing pair)
//   seal --keys DIR       standard input (plaintext) to envelope text on standard output
//   open --keys DIR       standard input (envelope text) to plaintext on standard output
#include <cctype>
#include <iostream>
#include <iterator>
#include <string>

#include "../common/key_folder.h"
#include "keygen.h"
#include "protocol/envelope.h"

namespace {

int usage() {
    std::cerr << "usage: vaultaide-publish keygen --out DIR\n"
                 "       vaultaide-publish seal --keys DIR   < plaintext\n"
                 "       vaultaide-publish open --keys DIR   < envelope text\n";
    return 2;
}

std::string readStdin() {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vaultaide;
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
        while (!input.empty() && std::isspace(static_cast<unsigned char>(input.back()))) input.pop_back();
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
