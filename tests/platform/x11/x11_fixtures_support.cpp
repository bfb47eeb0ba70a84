#include "x11_fixtures.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vektrin::test {

namespace {

// Long enough for a loaded machine; only reached when something is broken.
constexpr int GiveUpMs = 20000;

pid_t spawnWithPipes(const std::vector<std::string>& argv, int* toChild, int* fromChild) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return -1;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    *toChild = in[1];
    *fromChild = out[0];
    return pid;
}

bool readLine(int fd, std::string& buffered, std::string& line) {
    for (;;) {
        auto end = buffered.find('\n');
        if (end != std::string::npos) {
            line = buffered.substr(0, end);
            buffered.erase(0, end + 1);
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, GiveUpMs) <= 0) return false;
        char chunk[256];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffered.append(chunk, static_cast<std::size_t>(n));
    }
}

// Xvfb resets itself whenever its last client leaves, and refuses connections meanwhile; one
// connection held for the whole run keeps the server steady between tests.
class KeepServerUp : public ::testing::Environment {
  public:
    void SetUp() override { conn_ = xcb_connect(nullptr, nullptr); }
    void TearDown() override { xcb_disconnect(conn_); }

  private:
    xcb_connection_t* conn_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const keepServerUp =
    ::testing::AddGlobalTestEnvironment(new KeepServerUp);

} // namespace

TestClient::TestClient(const std::vector<std::string>& options) {
    std::vector<std::string> argv{VEKTRIN_XCB_TEST_CLIENT};
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = spawnWithPipes(argv, &toClient_, &fromClient_);
    started_ = pid_ > 0 && readUntil("ready");
}

TestClient::~TestClient() {
    if (toClient_ >= 0) close(toClient_); // end of input ends the client
    if (fromClient_ >= 0) close(fromClient_);
    if (pid_ > 0) {
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

bool TestClient::readUntil(const std::string& last) {
    std::string line;
    while (readLine(fromClient_, buffered_, line)) {
        auto space = line.find(' ');
        if (space != std::string::npos)
            windows_[line.substr(0, space)] =
                static_cast<WindowId>(std::strtoul(line.c_str() + space + 1, nullptr, 10));
        if (line.rfind(last, 0) == 0) return true;
    }
    return false;
}

WindowId TestClient::window(const std::string& role) const {
    auto it = windows_.find(role);
    return it == windows_.end() ? 0 : it->second;
}

WindowId TestClient::createLateWindow() {
    if (write(toClient_, "late\n", 5) != 5 || !readUntil("late")) return 0;
    return window("late");
}

PrivateXServer::PrivateXServer(const std::string& display) {
    int toServer = -1;
    int fromServer = -1;
    std::vector<std::string> argv{VEKTRIN_XVFB};
    if (display.empty()) {
        argv.insert(argv.end(), {"-displayfd", "1"});
    } else {
        argv.push_back(display);
    }
    argv.insert(argv.end(), {"-screen", "0", "640x480x24", "-nolisten", "tcp"});
    pid_ = spawnWithPipes(argv, &toServer, &fromServer);
    close(toServer);
    if (pid_ > 0 && display.empty()) {
        std::string buffered;
        std::string line;
        if (readLine(fromServer, buffered, line)) display_ = ":" + line;
    } else if (pid_ > 0) {
        // The server is up once a client gets through.
        for (int tries = 0; tries < GiveUpMs / 10 && !keep_; ++tries) {
            xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
            if (!xcb_connection_has_error(c)) {
                keep_ = c;
                display_ = display;
            } else {
                xcb_disconnect(c);
                usleep(10000);
            }
        }
    }
    close(fromServer);
    if (!display_.empty() && !keep_) {
        keep_ = xcb_connect(display_.c_str(), nullptr);
        if (xcb_connection_has_error(keep_)) display_.clear();
    }
    if (display_.empty()) stop();
}

void PrivateXServer::stop() {
    if (keep_) xcb_disconnect(keep_);
    keep_ = nullptr;
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM); // lets it remove its lock file, so the number can be used again
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

Probe::Probe() {
    int screenNumber = 0;
    conn_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(conn_)) {
        xcb_disconnect(conn_);
        conn_ = nullptr;
        return;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(conn_));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    root_ = screens.data->root;
    width_ = screens.data->width_in_pixels;
    height_ = screens.data->height_in_pixels;
}

Probe::~Probe() {
    if (conn_) xcb_disconnect(conn_);
}

xcb_atom_t Probe::atom(const std::string& name) {
    auto* reply = xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

Probe::Property Probe::property(xcb_window_t window, const std::string& name) {
    Property result;
    auto* reply = xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr);
    if (!reply) return result;
    result.type = reply->type;
    auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    int length = xcb_get_property_value_length(reply);
    if (reply->format == 8) result.bytes.assign(data, static_cast<std::size_t>(length));
    if (reply->format == 32) {
        result.values.resize(static_cast<std::size_t>(length) / 4);
        std::memcpy(result.values.data(), data, result.values.size() * 4);
    }
    std::free(reply);
    return result;
}

void Probe::setWindows(xcb_window_t window, const std::string& name,
                       std::vector<xcb_window_t> ids) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom(name), XCB_ATOM_WINDOW, 32,
                        static_cast<std::uint32_t>(ids.size()), ids.data());
    roundTrip();
}

void Probe::setText(xcb_window_t window, const std::string& name, const std::string& text) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom(name), atom("UTF8_STRING"), 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
    roundTrip();
}

void Probe::remove(xcb_window_t window, const std::string& name) {
    xcb_delete_property(conn_, window, atom(name));
    roundTrip();
}

xcb_window_t Probe::createWindow(bool map, bool overrideRedirect) {
    xcb_window_t window = xcb_generate_id(conn_);
    const std::uint32_t values[] = {overrideRedirect ? 1u : 0u};
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      values);
    if (map) xcb_map_window(conn_, window);
    roundTrip();
    return window;
}

void Probe::destroyWindow(xcb_window_t window) {
    xcb_destroy_window(conn_, window);
    roundTrip();
}

void Probe::raise(xcb_window_t window) {
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(conn_, window, XCB_CONFIG_WINDOW_STACK_MODE, above);
    roundTrip();
}

bool Probe::mapped(xcb_window_t window) {
    auto* reply =
        xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, window), nullptr);
    bool result = reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
    std::free(reply);
    return result;
}

std::vector<int> Probe::geometry(xcb_window_t window) {
    auto* reply = xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, window), nullptr);
    if (!reply) return {};
    std::vector<int> result{reply->x, reply->y, reply->width, reply->height};
    std::free(reply);
    return result;
}

void Probe::roundTrip() {
    std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

} // namespace vektrin::test
