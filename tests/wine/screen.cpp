#include "wine/screen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "wine/wine_bench.h"

namespace vaultaide::wine {

namespace {

WineRun drive(const std::vector<std::string>& arguments) {
    WineRun run =
        runProgram(windowsProgram("wadriver.exe"), arguments, "/tmp", std::chrono::seconds(30));
    std::string plain;
    for (char c : run.output)
        if (c != '\r') plain += c;
    run.output = plain;
    return run;
}

// The rest of the line after n blank-separated fields.
std::string restAfter(const std::string& line, int fields) {
    size_t at = 0;
    for (int i = 0; i < fields && at != std::string::npos; ++i) {
        at = line.find(' ', at);
        if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? "" : line.substr(at);
}

std::vector<Dialog> parse(const std::string& listing) {
    std::vector<Dialog> dialogs;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string tag;
        fields >> tag;
        if (tag == "window") {
            Dialog d;
            fields >> d.handle >> d.visible >> d.topmost >> d.x >> d.y >> d.width >> d.height;
            d.title = restAfter(line, 8);
            dialogs.push_back(d);
        } else if (!dialogs.empty() && (tag == "control" || tag == "bar")) {
            Control c;
            if (tag == "bar") {
                c.kind = "bar";
                fields >> c.id >> c.visible >> c.low >> c.high >> c.position;
            } else {
                fields >> c.id >> c.kind >> c.visible >> c.enabled >> c.checked;
                c.text = restAfter(line, 6);
            }
            dialogs.back().controls.push_back(c);
        }
    }
    return dialogs;
}

}  // namespace

const Control* Dialog::find(int id) const {
    for (const Control& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

std::string Dialog::text(int id) const {
    const Control* c = find(id);
    return c ? c->text : "";
}

bool Dialog::shows(int id) const {
    const Control* c = find(id);
    return c && c->visible;
}

const Control& Dialog::bar(int id) const {
    static const Control none;
    const Control* c = find(id);
    return c ? *c : none;
}

DialogCondition showing(int id, const std::string& text) {
    return [id, text](const Dialog& d) { return d.shows(id) && d.text(id) == text; };
}

Screen::Screen(std::string shots) : shots_(std::move(shots)) {
    std::filesystem::create_directories(shots_);
}

std::string Screen::dump() const { return drive({"ui-dump"}).output; }

std::vector<Dialog> Screen::dialogs() const { return parse(dump()); }

Dialog Screen::waitFor(const std::string& what, const DialogCondition& condition,
                       std::chrono::seconds bound) const {
    Dialog found;
    std::string last;
    eventually(
        [&] {
            last = dump();
            for (const Dialog& d : parse(last))
                if (d.visible && condition(d)) {
                    found = d;
                    return true;
                }
            return false;
        },
        bound);
    if (!found) ADD_FAILURE() << "no dialog: " << what << "\n" << last;
    return found;
}

bool Screen::stays(const DialogCondition& condition, std::chrono::milliseconds span) const {
    return !eventually(
        [&] {
            for (const Dialog& d : dialogs())
                if (d.visible && condition(d)) return true;
            return false;
        },
        span);
}

void Screen::click(const Dialog& dialog, int id) const {
    EXPECT_EQ(drive({"ui-click", dialog.handle, std::to_string(id)}).exitCode, 0) << "click " << id;
}

void Screen::setText(const Dialog& dialog, int id, const std::string& text) const {
    EXPECT_EQ(drive({"ui-set-text", dialog.handle, std::to_string(id), text}).exitCode, 0);
}

void Screen::drag(const Dialog& dialog, int dx, int dy) const {
    EXPECT_EQ(drive({"ui-drag", dialog.handle, std::to_string(dx), std::to_string(dy)}).exitCode,
              0);
}

void Screen::minimise(const Dialog& dialog) const {
    EXPECT_EQ(drive({"ui-syscommand", dialog.handle, "61472"}).exitCode, 0);  // SC_MINIMIZE
}

void Screen::restore(const Dialog& dialog) const {
    EXPECT_EQ(drive({"ui-syscommand", dialog.handle, "61728"}).exitCode, 0);  // SC_RESTORE
}

void Screen::pickFolder(const Dialog& picker, const std::string& path) const {
    EXPECT_EQ(drive({"ui-pick-folder", picker.handle, path}).exitCode, 0) << path;
}

void Screen::snap(const Dialog& dialog, const std::string& name) const {
    const std::string file = shots_ + "/" + name + ".png";
    EXPECT_EQ(drive({"ui-snap", dialog.handle, windowsPathOf(file)}).exitCode, 0) << file;
}

}  // namespace vaultaide::wine
