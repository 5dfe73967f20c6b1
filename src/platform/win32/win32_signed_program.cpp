// Authenticode checks of programs this elevated process starts: the file is held without
// write or delete sharing from the check until the started process has its image, so what
// runs is what was checked.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "platform/win32/scoped_handle.h"

namespace vaultaide {

namespace {

std::wstring widePath(const std::string& path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    return std::wstring(wide.data());
}

// The common name of the certificate that signed the file, when its signature is valid and
// chains to a trusted root; empty otherwise. Revocation is not asked for: the check must not
// depend on reaching the certificate authority's servers.
std::string verifiedSignerName(HANDLE file, const std::wstring& path) {
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;
    WINTRUST_DATA trust = {};
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &fileInfo;
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noUi = static_cast<HWND>(INVALID_HANDLE_VALUE);
    std::string name;
    if (WinVerifyTrust(noUi, &action, &trust) == ERROR_SUCCESS) {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(trust.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer =
            provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        if (signer && signer->csCertChain > 0 && signer->pasCertChain &&
            signer->pasCertChain[0].pCert) {
            char text[256] = {};
            const DWORD length =
                CertGetNameStringA(signer->pasCertChain[0].pCert, CERT_NAME_ATTR_TYPE, 0,
                                   const_cast<char*>(szOID_COMMON_NAME), text, sizeof text);
            if (length > 1) name.assign(text, length - 1);
        }
    }
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noUi, &action, &trust);
    return name;
}

class Win32SignedProgram : public SignedProgram {
public:
    Win32SignedProgram(ScopedHandle file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {}

    bool start(const std::string& parameters, WindowShow show) override {
        SHELLEXECUTEINFOA info = {};
        info.cbSize = sizeof info;
        // The handle tells that the process exists, with its image mapped from the held file.
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.lpFile = path_.c_str();
        info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
        info.nShow = showCommandOf(show);
        const bool started = ShellExecuteExA(&info) && info.hProcess;
        ScopedHandle process(info.hProcess);
        file_.reset();
        return started;
    }

private:
    ScopedHandle file_;
    std::string path_;
};

}  // namespace

std::unique_ptr<SignedProgram> Win32Processes::openSigned(const std::string& file,
                                                          const std::string& signerName) {
    // Others may read (the process's image is mapped through a read open), nobody may write,
    // rename or delete while the handle is held.
    ScopedHandle held(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return nullptr;
    const std::wstring path = widePath(file);
    if (path.empty() || signerName.empty() || verifiedSignerName(held.get(), path) != signerName)
        return nullptr;
    return std::make_unique<Win32SignedProgram>(std::move(held), file);
}

}  // namespace vaultaide
