#pragma once
// The UI driver's commands: what a test sees of the program's dialogs and what it does to them.
//   ui-dump               every dialog-class top-level window with its controls:
//                           window HWND VISIBLE TOPMOST X Y WIDTH HEIGHT TITLE
//                           control ID CLASS VISIBLE ENABLED CHECKED TEXT
//                           bar ID VISIBLE LOW HIGH POSITION
//   ui-click HWND ID      presses a button or check box of the window
//   ui-set-text HWND ID TEXT
//   ui-snap HWND FILE     saves what the screen shows of the window as a PNG
//   ui-drag HWND DX DY    drags the window by its caption with the mouse, DX and DY pixels
//   ui-syscommand HWND SC posts WM_SYSCOMMAND (61472 minimise, 61728 restore)
//   ui-pick-folder HWND PATH  selects PATH in a folder picker (BFFM_SETSELECTION, as the
//                         picker's owner would), for its OK button to return
#include <string>
#include <vector>

namespace vaultaide::driver {

using Args = std::vector<std::string>;

int uiDump(const Args& args);
int uiClick(const Args& args);
int uiSetText(const Args& args);
int uiSnap(const Args& args);
int uiDrag(const Args& args);
int uiSysCommand(const Args& args);
int uiPickFolder(const Args& args);

}  // namespace vaultaide::driver
