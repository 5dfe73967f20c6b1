#pragma once
// The question asked before a running Internet Explorer is closed for an installation.
#include <functional>
#include <string>

namespace vaultaide {

class Processes;

// A message box (owned by a dialog or not); returns the button pressed.
using AskFunction =
    std::function<int(const std::string& text, const std::string& caption, unsigned style)>;

// When Internet Explorer runs: asks (Yes/No, no icon); on Yes terminates it. False only when
// the user answered No and the run must not go on.
bool closeBrowserWithConsent(Processes& processes, const std::string& caption,
                             const AskFunction& ask);

}  // namespace vaultaide
