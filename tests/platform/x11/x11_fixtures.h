#pragma once
// Helpers of the X11 tests: the window-owning test client, a private X server, and a plain xcb
// connection for looking at what the layer did.

#include "platform/windows.h"

#include <map>
#include <string>
#include <vector>

#include <sys/types.h>
#include <xcb/xcb.h>

namespace vektrin::test {

// Runs the test client; the constructor returns once its windows exist at the server.
class TestClient {
  public:
    explicit TestClient(const std::vector<std::string>& options);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool started() const { return started_; }
    pid_t pid() const { return pid_; }
    // "main", "dialog" or "late"; 0 when the client has no such window.
    WindowId window(const std::string& role) const;
    // Asks for the late window and returns it once it exists.
    WindowId createLateWindow();

  private:
    bool readUntil(const std::string& last);

    pid_t pid_ = -1;
    int toClient_ = -1;
    int fromClient_ = -1;
    std::string buffered_;
    bool started_ = false;
    std::map<std::string, WindowId> windows_;
};

// An X server of the test's own, for losing a display on purpose.
class PrivateXServer {
  public:
    // display: ":N" to reuse a number, empty to let the server pick one.
    explicit PrivateXServer(const std::string& display = {});
    ~PrivateXServer() { stop(); }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool running() const { return pid_ > 0; }
    const std::string& display() const { return display_; }
    void stop();

  private:
    pid_t pid_ = -1;
    std::string display_;
    xcb_connection_t* keep_ = nullptr; // see KeepServerUp
};

// A plain client connection of the test, independent of the layer under test.
class Probe {
  public:
    Probe();
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool connected() const { return conn_ != nullptr; }
    xcb_connection_t* connection() const { return conn_; }
    xcb_window_t root() const { return root_; }
    xcb_atom_t atom(const std::string& name);
    // The property's type and bytes (32-bit values in host order), type 0 when absent.
    struct Property {
        xcb_atom_t type = 0;
        std::string bytes;
        std::vector<std::uint32_t> values;
    };
    Property property(xcb_window_t window, const std::string& name);
    void setWindows(xcb_window_t window, const std::string& name, std::vector<xcb_window_t> ids);
    void setText(xcb_window_t window, const std::string& name, const std::string& text);
    void remove(xcb_window_t window, const std::string& name);
    xcb_window_t createWindow(bool map = false, bool overrideRedirect = false);
    void destroyWindow(xcb_window_t window);
    void raise(xcb_window_t window);
    bool mapped(xcb_window_t window);
    // x, y, width, height
    std::vector<int> geometry(xcb_window_t window);
    std::pair<int, int> screenSize() const { return {width_, height_}; }
    void roundTrip();

  private:
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace vektrin::test
