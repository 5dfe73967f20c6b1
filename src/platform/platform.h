#pragma once
// The whole platform boundary, handed to the steps as one bundle.
#include "platform/files.h"
#include "platform/http.h"
#include "platform/kernel.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/system_info.h"
#include "platform/text_encoding.h"
#include "platform/ui_services.h"

namespace vaultaide {

struct Platform {
    Kernel& kernel;
    Processes& processes;
    Files& files;
    SystemInfo& system;
    UiServices& ui;
    Registry& registry;
    HttpTransport& http;
    TextEncoding& text;
    Shell& shell;
};

}  // namespace vaultaide
