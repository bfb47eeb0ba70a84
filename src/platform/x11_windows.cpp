#include "platform/windows.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

namespace vektrin {

namespace {

// Longest property value read, in 32-bit units: titles far beyond anything shown.
constexpr std::uint32_t MaxPropertyUnits = 1024;
// After the display is lost, a reconnection is tried on every this many-th listing.
constexpr unsigned ReconnectEvery = 16;

template <typename T> struct Freed {
    explicit Freed(T* p) : ptr(p) {}
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    ~Freed() { std::free(ptr); }
    T* operator->() const { return ptr; }
    explicit operator bool() const { return ptr != nullptr; }
    T* ptr;
};

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool isAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// What the layer knows of one window, kept until an event from the server says it changed.
struct WindowFacts {
    bool exists = false; // the server answered about it
    bool overrideRedirect = false;
    bool mapped = false;
    bool hasClass = false;
    std::uint32_t wmState = XCB_ICCCM_WM_STATE_WITHDRAWN;
    bool owned = false;
    bool hasNetName = false;
    bool hasWmName = false;
    std::string netName; // _NET_WM_NAME, UTF-8
    std::string wmName;  // WM_NAME, converted to UTF-8
    std::uint32_t pid = 0;

    // What a manager would list: a window that says what it is (WM_CLASS), is no popup, and is
    // shown or iconified.
    bool isClient() const {
        return exists && !overrideRedirect && hasClass &&
               (mapped || wmState == XCB_ICCCM_WM_STATE_ICONIC);
    }
};

// Changes of a watched window that make what is known of it stale.
constexpr std::uint32_t WatchWindow =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
// Changes of the root: windows coming, going and restacking, and the manager's lists.
constexpr std::uint32_t WatchRoot =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;

class X11WindowSystem final : public WindowSystem {
  public:
    X11WindowSystem() {
        if (const char* display = std::getenv("DISPLAY"); display && *display) {
            display_ = display;
            // Writing to a display that went away raises SIGPIPE, whose default would end the
            // scheduler. Tasks get default dispositions back when they are launched.
            struct sigaction current {};
            if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
                std::signal(SIGPIPE, SIG_IGN);
            connect();
        }
    }
    ~X11WindowSystem() override { disconnect(); }

    std::vector<WindowId> topLevelWindows() override;
    bool hasOwner(WindowId window) override;
    std::string title(WindowId window) override;
    std::uint32_t processId(WindowId window) override;
    void setTitle(WindowId window, const std::string& title) override;
    bool isVisible(WindowId window) override;
    void show(WindowId window) override;
    void hide(WindowId window) override;
    void applyRunType(WindowId window, int runType) override;
    void flush() override;

  private:
    bool connect();
    void disconnect();
    bool ready() const { return conn_ && !xcb_connection_has_error(conn_); }
    bool ensureConnected();
    void roundTrip() {
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }
    void send();
    void handleEvents();
    void forget(WindowId window);
    void watch(WindowId window, std::uint32_t mask) {
        xcb_change_window_attributes(conn_, window, XCB_CW_EVENT_MASK, &mask);
    }

    xcb_get_property_cookie_t requestProperty(WindowId window, xcb_atom_t property, xcb_atom_t type,
                                              std::uint32_t units) {
        return xcb_get_property_unchecked(conn_, 0, window, property, type, 0, units);
    }
    // The reply of a property request, or null when the window or the property is missing.
    xcb_get_property_reply_t* propertyReply(xcb_get_property_cookie_t cookie);

    void refreshManager();
    void refreshCandidates();
    void learn(const std::vector<WindowId>& windows, bool watched);
    const WindowFacts& facts(WindowId window);
    std::uint32_t resourcePid(xcb_res_query_client_ids_cookie_t cookie);
    void setWmState(WindowId window, std::uint32_t state);
    void withdraw(WindowId window);
    void iconify(WindowId window);
    void maximize(WindowId window);

    std::string display_; // as $DISPLAY said at the start; empty: no display wanted
    unsigned listingsSinceLoss_ = 0;
    xcb_connection_t* conn_ = nullptr;
    int screenNumber_ = 0;
    xcb_window_t root_ = 0;
    std::uint16_t rootWidth_ = 0;
    std::uint16_t rootHeight_ = 0;
    xcb_ewmh_connection_t ewmh_{};
    bool ewmhReady_ = false;
    xcb_atom_t wmStateAtom_ = XCB_ATOM_NONE;
    xcb_atom_t wmChangeStateAtom_ = XCB_ATOM_NONE;
    bool haveResourcePids_ = false;

    // The monitoring pass asks about every window every second, but windows rarely change:
    // what is known is kept and dropped only when the server reports a change, so a quiet
    // desktop costs one round trip per listing however many windows it has.
    bool windowManager_ = false;
    xcb_window_t managerCheck_ = XCB_NONE;
    bool managerStale_ = true;
    std::vector<WindowId> candidates_; // bottom to top: the manager's list or the root's children
    bool candidatesStale_ = true;
    std::unordered_map<WindowId, WindowFacts> known_;
    WindowFacts unknown_;
    bool unconfirmed_ = false; // requests sent that the server has not confirmed yet
};

bool X11WindowSystem::connect() {
    conn_ = xcb_connect(display_.c_str(), &screenNumber_);
    if (xcb_connection_has_error(conn_)) {
        disconnect();
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(conn_);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber_ && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        disconnect();
        return false;
    }
    root_ = screens.data->root;
    rootWidth_ = screens.data->width_in_pixels;
    rootHeight_ = screens.data->height_in_pixels;
    watch(root_, WatchRoot);

    xcb_intern_atom_cookie_t* ewmhCookies = xcb_ewmh_init_atoms(conn_, &ewmh_);
    auto wmState = xcb_intern_atom(conn_, 0, 8, "WM_STATE");
    auto wmChangeState = xcb_intern_atom(conn_, 0, 15, "WM_CHANGE_STATE");
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(conn_, &xcb_res_id);
    xcb_res_query_version_cookie_t resVersion{};
    if (res && res->present) resVersion = xcb_res_query_version(conn_, 1, 2);

    ewmhReady_ = xcb_ewmh_init_atoms_replies(&ewmh_, ewmhCookies, nullptr) != 0;
    if (Freed<xcb_intern_atom_reply_t> r{xcb_intern_atom_reply(conn_, wmState, nullptr)})
        wmStateAtom_ = r->atom;
    if (Freed<xcb_intern_atom_reply_t> r{xcb_intern_atom_reply(conn_, wmChangeState, nullptr)})
        wmChangeStateAtom_ = r->atom;
    if (res && res->present) {
        Freed<xcb_res_query_version_reply_t> v{
            xcb_res_query_version_reply(conn_, resVersion, nullptr)};
        // Client ids came with version 1.2.
        haveResourcePids_ =
            v && (v->server_major > 1 || (v->server_major == 1 && v->server_minor >= 2));
    }
    if (!ewmhReady_ || !ready()) {
        disconnect();
        return false;
    }
    refreshManager();
    return true;
}

void X11WindowSystem::disconnect() {
    known_.clear();
    candidates_.clear();
    managerStale_ = candidatesStale_ = true;
    windowManager_ = false;
    managerCheck_ = XCB_NONE;
    unconfirmed_ = false;
    if (ewmhReady_) xcb_ewmh_connection_wipe(&ewmh_);
    ewmhReady_ = false;
    if (conn_) xcb_disconnect(conn_);
    conn_ = nullptr;
    haveResourcePids_ = false;
}

bool X11WindowSystem::ensureConnected() {
    if (ready()) {
        listingsSinceLoss_ = 0;
        return true;
    }
    if (display_.empty()) return false;
    // The display went away (or was not up yet): try again now and then, never in a loop.
    if (listingsSinceLoss_++ % ReconnectEvery != 0) return false;
    disconnect();
    return connect();
}

// Asked again at the next listing. Whether it is listed follows from what is learnt then, so
// only windows coming, going and moving make the candidates stale.
void X11WindowSystem::forget(WindowId window) {
    known_.erase(window);
}

void X11WindowSystem::handleEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) {
        switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (e->window != root_)
                forget(e->window);
            else if (e->atom == ewmh_._NET_SUPPORTING_WM_CHECK)
                managerStale_ = true;
            else if (e->atom == ewmh_._NET_CLIENT_LIST_STACKING)
                candidatesStale_ = true;
            break;
        }
        case XCB_DESTROY_NOTIFY: {
            auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
            if (e->window == managerCheck_) managerStale_ = true;
            forget(e->window);
            candidatesStale_ = true;
            break;
        }
        case XCB_MAP_NOTIFY:
            forget(reinterpret_cast<xcb_map_notify_event_t*>(event)->window);
            break;
        case XCB_UNMAP_NOTIFY:
            forget(reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window);
            break;
        case XCB_REPARENT_NOTIFY:
            forget(reinterpret_cast<xcb_reparent_notify_event_t*>(event)->window);
            candidatesStale_ = true;
            break;
        case XCB_CREATE_NOTIFY:
        case XCB_CONFIGURE_NOTIFY: // restacking among others
        case XCB_CIRCULATE_NOTIFY:
            candidatesStale_ = true;
            break;
        default:
            // Errors of requests about windows that have gone in the meantime: of no interest.
            break;
        }
        std::free(event);
    }
}

xcb_get_property_reply_t* X11WindowSystem::propertyReply(xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(conn_, cookie, &error);
    std::free(error);
    if (reply && reply->type == XCB_ATOM_NONE) {
        std::free(reply);
        return nullptr;
    }
    return reply;
}

std::uint32_t firstCardinal(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply) < 4) return 0;
    std::uint32_t value;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    return value;
}

std::string_view propertyText(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(reply))};
}

std::string wmNameText(xcb_get_property_reply_t* reply) {
    std::string_view text = propertyText(reply);
    // STRING is Latin-1; UTF8_STRING is taken as it is, and so is plain-ASCII COMPOUND_TEXT.
    return reply && reply->type == XCB_ATOM_STRING ? latin1ToUtf8(text) : std::string(text);
}

void X11WindowSystem::refreshManager() {
    // An EWMH window manager names a check window on the root that names itself again; a
    // leftover property of a manager that has gone names nothing valid.
    managerStale_ = false;
    candidatesStale_ = true;
    windowManager_ = false;
    Freed<xcb_get_property_reply_t> rootCheck{
        propertyReply(requestProperty(root_, ewmh_._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 1))};
    managerCheck_ = firstCardinal(rootCheck.ptr);
    if (!managerCheck_) return;
    watch(managerCheck_, XCB_EVENT_MASK_STRUCTURE_NOTIFY); // its end is the manager's end
    Freed<xcb_get_property_reply_t> selfCheck{propertyReply(
        requestProperty(managerCheck_, ewmh_._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 1))};
    windowManager_ = firstCardinal(selfCheck.ptr) == managerCheck_;
}

void X11WindowSystem::refreshCandidates() {
    candidatesStale_ = false;
    std::vector<WindowId> fresh;
    bool fromManager = false;
    if (windowManager_) {
        Freed<xcb_get_property_reply_t> stack{propertyReply(
            requestProperty(root_, ewmh_._NET_CLIENT_LIST_STACKING, XCB_ATOM_WINDOW, 0x10000))};
        if (stack && stack->format == 32) {
            auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(stack.ptr));
            fresh.assign(ids, ids + xcb_get_property_value_length(stack.ptr) / 4);
            fromManager = true;
        }
    }
    if (!fromManager) {
        // Without a manager the clients are among the root's own children, bottom to top.
        Freed<xcb_query_tree_reply_t> tree{
            xcb_query_tree_reply(conn_, xcb_query_tree(conn_, root_), nullptr)};
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.ptr);
            fresh.assign(children, children + xcb_query_tree_children_length(tree.ptr));
        }
    }
    std::unordered_map<WindowId, WindowFacts> kept;
    kept.reserve(fresh.size());
    for (WindowId window : fresh)
        if (auto it = known_.find(window); it != known_.end())
            kept.emplace(window, std::move(it->second));
    for (const auto& [window, facts] : known_)
        if (!kept.count(window))
            watch(window, XCB_EVENT_MASK_NO_EVENT); // out of sight: its changes are no news
    known_ = std::move(kept);
    candidates_ = std::move(fresh);
}

void X11WindowSystem::learn(const std::vector<WindowId>& windows, bool watched) {
    // Every question for every window goes out before the first answer is read, so any number
    // of new windows costs about two round trips.
    struct Pending {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t wmClass, wmState, owner, netName, wmName, pid;
    };
    std::vector<Pending> pending;
    pending.reserve(windows.size());
    for (WindowId window : windows) {
        // Watching starts before the reading: a change after it is sure to be reported.
        if (watched) watch(window, WatchWindow);
        pending.push_back(
            {xcb_get_window_attributes_unchecked(conn_, window),
             requestProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0),
             requestProperty(window, wmStateAtom_, wmStateAtom_, 1),
             requestProperty(window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 1),
             requestProperty(window, ewmh_._NET_WM_NAME, ewmh_.UTF8_STRING, MaxPropertyUnits),
             requestProperty(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, MaxPropertyUnits),
             requestProperty(window, ewmh_._NET_WM_PID, XCB_ATOM_CARDINAL, 1)});
    }
    std::vector<WindowId> withoutPid;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        WindowFacts facts;
        Freed<xcb_get_window_attributes_reply_t> attributes{
            xcb_get_window_attributes_reply(conn_, pending[i].attributes, nullptr)};
        Freed<xcb_get_property_reply_t> wmClass{propertyReply(pending[i].wmClass)};
        Freed<xcb_get_property_reply_t> wmState{propertyReply(pending[i].wmState)};
        Freed<xcb_get_property_reply_t> owner{propertyReply(pending[i].owner)};
        Freed<xcb_get_property_reply_t> netName{propertyReply(pending[i].netName)};
        Freed<xcb_get_property_reply_t> wmName{propertyReply(pending[i].wmName)};
        Freed<xcb_get_property_reply_t> pid{propertyReply(pending[i].pid)};
        if (attributes) {
            facts.exists = true;
            facts.overrideRedirect = attributes->override_redirect;
            facts.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
        }
        facts.hasClass = static_cast<bool>(wmClass);
        if (wmState) facts.wmState = firstCardinal(wmState.ptr);
        facts.owned = firstCardinal(owner.ptr) != 0;
        facts.hasNetName = netName && netName->type == ewmh_.UTF8_STRING;
        facts.netName = std::string(propertyText(netName.ptr));
        facts.hasWmName = wmName && wmName->format == 8;
        facts.wmName = wmNameText(wmName.ptr);
        facts.pid = firstCardinal(pid.ptr);
        if (!facts.pid && facts.exists) withoutPid.push_back(windows[i]);
        known_[windows[i]] = std::move(facts);
    }
    if (!haveResourcePids_ || withoutPid.empty()) return;
    // A client that does not state its pid is asked about through the server, which knows the
    // pid of every local connection.
    std::vector<xcb_res_query_client_ids_cookie_t> cookies;
    cookies.reserve(withoutPid.size());
    for (WindowId window : withoutPid) {
        xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        cookies.push_back(xcb_res_query_client_ids_unchecked(conn_, 1, &wanted));
    }
    for (std::size_t i = 0; i < withoutPid.size(); ++i)
        known_[withoutPid[i]].pid = resourcePid(cookies[i]);
}

std::uint32_t X11WindowSystem::resourcePid(xcb_res_query_client_ids_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    Freed<xcb_res_query_client_ids_reply_t> reply{
        xcb_res_query_client_ids_reply(conn_, cookie, &error)};
    std::free(error);
    if (!reply) return 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.ptr); it.rem;
         xcb_res_client_id_value_next(&it)) {
        // The id the server answers for opens the value record (its first member).
        const auto* answered = reinterpret_cast<const xcb_res_client_id_spec_t*>(it.data);
        if ((answered->mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1)
            return *xcb_res_client_id_value_value(it.data);
    }
    return 0;
}

const WindowFacts& X11WindowSystem::facts(WindowId window) {
    if (auto it = known_.find(window); it != known_.end()) return it->second;
    unknown_ = WindowFacts{};
    if (!ready() || window == 0) return unknown_;
    // A window outside the listing is looked up as it is now, and not kept: nothing would
    // tell when it changes.
    learn({window}, false);
    unknown_ = std::move(known_[window]);
    known_.erase(window);
    return unknown_;
}

std::vector<WindowId> X11WindowSystem::topLevelWindows() {
    if (!ensureConnected()) return {};
    // Once the server has answered, every change made before this call has been reported.
    roundTrip();
    unconfirmed_ = false;
    handleEvents();
    if (managerStale_) refreshManager();
    if (candidatesStale_) refreshCandidates();
    std::vector<WindowId> unknown;
    for (WindowId window : candidates_)
        if (!known_.count(window)) unknown.push_back(window);
    if (!unknown.empty()) learn(unknown, true);

    std::vector<WindowId> listed;
    listed.reserve(candidates_.size());
    for (auto it = candidates_.rbegin(); it != candidates_.rend(); ++it) {
        const WindowFacts& facts = known_[*it];
        if (facts.exists && (windowManager_ || facts.isClient())) listed.push_back(*it);
    }
    return listed;
}

bool X11WindowSystem::hasOwner(WindowId window) {
    return facts(window).owned;
}

std::string X11WindowSystem::title(WindowId window) {
    const WindowFacts& known = facts(window);
    return known.hasNetName ? known.netName : known.wmName;
}

std::uint32_t X11WindowSystem::processId(WindowId window) {
    return facts(window).pid;
}

void X11WindowSystem::setTitle(WindowId window, const std::string& title) {
    if (!ready() || window == 0) return;
    auto known = known_.find(window);
    // The pass sets the same title every second: rewriting it would only make the title bar
    // of every task window repaint each second.
    if (known != known_.end() && known->second.hasNetName && known->second.netName == title &&
        known->second.hasWmName && known->second.wmName == title)
        return;
    auto length = static_cast<std::uint32_t>(title.size());
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, ewmh_._NET_WM_NAME, ewmh_.UTF8_STRING,
                        8, length, title.data());
    // Older readers of WM_NAME expect Latin-1 STRING; ASCII is that already, anything else
    // goes as UTF8_STRING, which current toolkits read.
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        isAscii(title) ? xcb_atom_t{XCB_ATOM_STRING} : ewmh_.UTF8_STRING, 8, length,
                        title.data());
    unconfirmed_ = true;
}

void X11WindowSystem::setWmState(WindowId window, std::uint32_t state) {
    // Only ever without a manager, which otherwise owns WM_STATE.
    const std::uint32_t value[2] = {state, XCB_NONE};
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, wmStateAtom_, wmStateAtom_, 32, 2,
                        value);
}

bool X11WindowSystem::isVisible(WindowId window) {
    if (!ready() || window == 0) return false;
    auto attributesCookie = xcb_get_window_attributes_unchecked(conn_, window);
    auto stateCookie = requestProperty(window, wmStateAtom_, wmStateAtom_, 1);
    Freed<xcb_get_window_attributes_reply_t> attributes{
        xcb_get_window_attributes_reply(conn_, attributesCookie, nullptr)};
    Freed<xcb_get_property_reply_t> state{propertyReply(stateCookie)};
    // Mapped counts even where an unmapped ancestor hides it (a manager's other desktop):
    // the window is shown as far as its task is concerned.
    return attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED &&
           firstCardinal(state.ptr) != XCB_ICCCM_WM_STATE_ICONIC;
}

void X11WindowSystem::show(WindowId window) {
    if (!ready() || window == 0) return;
    // Mapping also brings an iconified window back (ICCCM Iconic -> Normal).
    xcb_map_window(conn_, window);
    if (!windowManager_) setWmState(window, XCB_ICCCM_WM_STATE_NORMAL);
    send();
}

void X11WindowSystem::withdraw(WindowId window) {
    xcb_unmap_window(conn_, window);
    // ICCCM withdrawal: the synthetic UnmapNotify tells a manager that the client means it,
    // also when the window was iconified and so is unmapped already.
    xcb_unmap_notify_event_t notify{};
    notify.response_type = XCB_UNMAP_NOTIFY;
    notify.event = root_;
    notify.window = window;
    notify.from_configure = 0;
    char event[32] = {};
    std::memcpy(event, &notify, sizeof notify);
    xcb_send_event(conn_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   event);
    if (!windowManager_) xcb_delete_property(conn_, window, wmStateAtom_);
}

void X11WindowSystem::hide(WindowId window) {
    if (!ready() || window == 0) return;
    withdraw(window);
    send();
}

void X11WindowSystem::iconify(WindowId window) {
    if (windowManager_) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = wmChangeStateAtom_;
        message.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
        char event[32] = {};
        std::memcpy(event, &message, sizeof message);
        xcb_send_event(conn_, 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       event);
        return;
    }
    // Nobody to ask: do what a manager would, the window unmapped and marked iconic.
    setWmState(window, XCB_ICCCM_WM_STATE_ICONIC);
    xcb_unmap_window(conn_, window);
}

void X11WindowSystem::maximize(WindowId window) {
    xcb_map_window(conn_, window);
    if (windowManager_) {
        xcb_ewmh_request_change_wm_state(&ewmh_, screenNumber_, window, XCB_EWMH_WM_STATE_ADD,
                                         ewmh_._NET_WM_STATE_MAXIMIZED_VERT,
                                         ewmh_._NET_WM_STATE_MAXIMIZED_HORZ,
                                         XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
        return;
    }
    // Without a manager the window takes the whole screen itself, and its state says so for
    // the client and for a manager that starts later.
    setWmState(window, XCB_ICCCM_WM_STATE_NORMAL);
    Freed<xcb_get_property_reply_t> current{propertyReply(
        requestProperty(window, ewmh_._NET_WM_STATE, XCB_ATOM_ATOM, MaxPropertyUnits))};
    std::vector<xcb_atom_t> states;
    if (current && current->format == 32) {
        auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.ptr));
        states.assign(atoms, atoms + xcb_get_property_value_length(current.ptr) / 4);
    }
    for (xcb_atom_t wanted :
         {ewmh_._NET_WM_STATE_MAXIMIZED_VERT, ewmh_._NET_WM_STATE_MAXIMIZED_HORZ})
        if (std::find(states.begin(), states.end(), wanted) == states.end())
            states.push_back(wanted);
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, ewmh_._NET_WM_STATE, XCB_ATOM_ATOM,
                        32, static_cast<std::uint32_t>(states.size()), states.data());
    const std::uint32_t geometry[4] = {0, 0, rootWidth_, rootHeight_};
    xcb_configure_window(conn_, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         geometry);
}

void X11WindowSystem::applyRunType(WindowId window, int runType) {
    if (!ready() || window == 0) return;
    switch (runType) {
    case 1:
        withdraw(window);
        break;
    case 2:
        iconify(window);
        break;
    case 3:
        maximize(window);
        break;
    default:
        return; // normal, and anything else: the window as the program made it
    }
    send();
}

// Waits until the server has carried out everything sent so far: the change is then visible
// to every other client, and the errors of those requests are in and cleared away.
void X11WindowSystem::send() {
    roundTrip();
    unconfirmed_ = false;
    handleEvents();
}

// Cheap enough for every pass, and worth calling even when no listing is needed: the change
// reports of a busy desktop then never pile up at the server.
void X11WindowSystem::flush() {
    if (!ready()) return;
    if (unconfirmed_) {
        send();
        return;
    }
    xcb_flush(conn_);
    handleEvents();
}

} // namespace

std::unique_ptr<WindowSystem> makeX11WindowSystem() {
    return std::make_unique<X11WindowSystem>();
}

} // namespace vektrin
