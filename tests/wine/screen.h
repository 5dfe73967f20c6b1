#pragma once
// What the user sees of the program's dialogs under Wine, read and worked through the driver's
// ui- commands (tests/wine/driver/ui_commands.h). Texts read are GBK, as the program shows them.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vaultaide::wine {

struct Control {
    int id = 0;
    std::string kind;  // window class; "bar" for progress bars
    bool visible = false;
    bool enabled = false;
    int checked = 0;
    std::string text;
    long low = 0, high = 0, position = 0;  // bars
};

struct Dialog {
    std::string handle;  // empty: no such dialog
    bool visible = false;
    bool topmost = false;
    int x = 0, y = 0, width = 0, height = 0;
    std::string title;
    std::vector<Control> controls;

    explicit operator bool() const { return !handle.empty(); }
    const Control* find(int id) const;
    std::string text(int id) const;  // empty when there is no such control
    bool shows(int id) const;        // the control exists and is visible
    const Control& bar(int id) const;
};

using DialogCondition = std::function<bool(const Dialog&)>;
// A visible dialog whose control id is visible and reads text.
DialogCondition showing(int id, const std::string& text);

class Screen {
public:
    // Screenshots go to the host folder shots.
    explicit Screen(std::string shots);
    std::vector<Dialog> dialogs() const;
    // The first visible dialog that meets the condition, waiting up to the bound; an empty
    // Dialog (and a test failure naming what) when none comes.
    Dialog waitFor(const std::string& what, const DialogCondition& condition,
                   std::chrono::seconds bound = std::chrono::seconds(60)) const;
    // True when no visible dialog meets the condition for the whole of a short while.
    bool stays(const DialogCondition& condition, std::chrono::milliseconds span) const;
    void click(const Dialog& dialog, int id) const;
    // text in UTF-8: Wine hands command-line arguments over in the locale's encoding.
    void setText(const Dialog& dialog, int id, const std::string& text) const;
    // Drags the dialog by its caption with the mouse.
    void drag(const Dialog& dialog, int dx, int dy) const;
    void minimise(const Dialog& dialog) const;
    void restore(const Dialog& dialog) const;
    // Selects a folder in a folder picker, as a click in its tree would.
    void pickFolder(const Dialog& picker, const std::string& path) const;
    // Saves the dialog as shots/NAME.png.
    void snap(const Dialog& dialog, const std::string& name) const;
    std::string dump() const;  // the driver's raw listing, for failure messages

private:
    std::string shots_;
};

}  // namespace vaultaide::wine
