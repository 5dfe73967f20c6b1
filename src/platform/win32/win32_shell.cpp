#include "platform/win32/win32_platform.h"

#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/scoped_handle.h"

namespace vaultaide {

namespace {

class Win32ComScope : public ComScope {
public:
    Win32ComScope() : result_(CoInitialize(nullptr)) {}
    // Every successful CoInitialize (S_OK or S_FALSE) is balanced; a failed one is not.
    ~Win32ComScope() override {
        if (SUCCEEDED(result_)) CoUninitialize();
    }

private:
    HRESULT result_;
};

std::wstring wideFromAnsi(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

}  // namespace

bool Win32Shell::specialFolderPath(SpecialFolder folder, std::string& path) {
    Scoped<TaskMemTraits<LPITEMIDLIST>> item;
    if (SHGetSpecialFolderLocation(nullptr, static_cast<int>(folder), item.receive()) != S_OK)
        return false;
    char buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(item.get(), buffer)) return false;
    path = buffer;
    return true;
}

bool Win32Shell::saveLink(const std::string& linkPath, const std::string& targetPath) {
    ScopedCom<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(link.receive()))))
        return false;
    ScopedCom<IPersistFile> file;
    if (FAILED(
            link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.receive()))))
        return false;
    link.get()->SetPath(targetPath.c_str());
    const std::wstring wide = wideFromAnsi(linkPath);
    return !wide.empty() && SUCCEEDED(file.get()->Save(wide.c_str(), FALSE));
}

void Win32Shell::notifyChange(ShellChange change, const std::string& path) {
    SHChangeNotify(static_cast<LONG>(change) | SHCNE_INTERRUPT, SHCNF_PATHA | SHCNF_FLUSH,
                   path.c_str(), nullptr);
}

std::unique_ptr<ComScope> Win32Shell::initializeCom() { return std::make_unique<Win32ComScope>(); }

}  // namespace vaultaide
