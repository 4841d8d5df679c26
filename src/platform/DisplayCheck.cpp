#include "platform/DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace DisplayCheck {

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// The value after `-name` (or `--name`) on the command line, as Qt reads it.
std::optional<std::string> argument(int argc, char *argv[], std::string_view name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.starts_with("--"))
            arg.remove_prefix(1);
        if (arg.starts_with('-') && arg.substr(1) == name)
            return std::string(argv[i + 1]);
    }
    return std::nullopt;
}

// The platforms Qt tries, in order: "name:options;name:options".
std::vector<std::string> platforms(int argc, char *argv[])
{
    std::string list = argument(argc, argv, "platform").value_or(environment("QT_QPA_PLATFORM"));
    if (list.empty()) {
        // Qt's default here is X; in a Wayland session it prefers Wayland.
        list = environment("XDG_SESSION_TYPE") == "wayland" ? "wayland;xcb" : "xcb";
    }
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        const std::string entry = list.substr(start, end - start);
        names.push_back(entry.substr(0, entry.find(':')));
        start = end + 1;
    }
    return names;
}

// Empty when the X display answers, else why not.
std::string probeX(int argc, char *argv[])
{
    const std::string name = argument(argc, argv, "display").value_or(environment("DISPLAY"));
    if (name.empty())
        return "DISPLAY is not set";
    xcb_connection_t *connection = xcb_connect(name.c_str(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers ? std::string() : "the display \"" + name + "\" does not answer";
}

// Empty when a Wayland compositor answers, else why not.
std::string probeWayland()
{
    std::string socketName = environment("WAYLAND_DISPLAY");
    if (socketName.empty())
        socketName = "wayland-0";
    if (socketName.front() != '/') {
        const std::string runtime = environment("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return "XDG_RUNTIME_DIR is not set for Wayland";
        socketName = runtime + '/' + socketName;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketName.size() >= sizeof(address.sun_path))
        return "the Wayland socket name is too long";
    std::memcpy(address.sun_path, socketName.c_str(), socketName.size() + 1);

    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers
        = socket >= 0 && ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (socket >= 0)
        ::close(socket);
    return answers ? std::string() : "no Wayland compositor answers at " + socketName;
}

} // namespace

std::string Missing(int argc, char *argv[])
{
    std::string reasons;
    for (const std::string &platform : platforms(argc, argv)) {
        std::string reason;
        if (platform == "xcb")
            reason = probeX(argc, argv);
        else if (platform.starts_with("wayland"))
            reason = probeWayland();
        else if (!platform.empty())
            return {}; // offscreen, vnc, eglfs …: no display server to ask
        if (reason.empty())
            return {};
        reasons += (reasons.empty() ? "" : "; ") + reason;
    }
    return reasons;
}

} // namespace DisplayCheck
