#pragma once
// The fixed texts the dialogs show.
namespace vaultaide {

// Version-query dialog, status label.
constexpr const char* kQueryingText = "正在获取版本信息...";
constexpr const char* kNoAnswerText = "服务器没响应";
// Quit confirmation of the version-query dialog and the wizard pages.
constexpr const char* kQuitQuestion = "是否退出网银助手安装？";
// Asked before Internet Explorer is closed (repair, options page, update prompt).
constexpr const char* kCloseBrowserQuestion = "安装过程中需关闭IE浏览器，是否继续？";
// Options page.
constexpr const char* kInvalidFolderText = "路径不合法";
constexpr const char* kBrowseTitle = "选择网银的安装路径:";
// Progress dialog, Cancel while the run goes on.
constexpr const char* kCancelRunQuestion = "下载还未完成，确定取消？";

}  // namespace vaultaide
