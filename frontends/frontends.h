// The screen frontends, made by the program according to its options.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/frontend.h"

namespace orva {

// Qt 6 Widgets on the display. nullptr and a message when no display can be
// opened (or Qt is not built in).
std::unique_ptr<platform::Frontend> make_qt_frontend(int& argc, char** argv, std::string* error);
// ncurses on the terminal of standard input and output. nullptr and a
// message when the terminal cannot be used.
std::unique_ptr<platform::Frontend> make_terminal_frontend(std::string* error);

struct WebFrontendOptions {
    std::string listen = "127.0.0.1:8443";  // ADDR:PORT
    std::string tls_cert, tls_key;          // the operator's certificate and key, or both empty
    std::filesystem::path keep_dir;         // where a certificate made on first use is kept
    uint64_t upload_limit = 0;              // the most bytes an upload may hold
};
// An HTTPS server for one operator's browser; prints its address, token and
// certificate fingerprint on standard error. nullptr and a message when it
// cannot serve.
std::unique_ptr<platform::Frontend> make_web_frontend(const WebFrontendOptions& options, std::string* error);
// Removes the partial files that uploads of the web frontend leave in the
// controller's `fs_root` when a program is ended without a chance to remove
// them (a crash, SIGKILL); the controller paths of those removed.
std::vector<std::string> remove_leftover_uploads(const std::filesystem::path& fs_root);

}  // namespace orva
