#include "x11_fixtures.h"

#include "platform/windows.h"
#include "support/scoped_env.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <xcb/xcb_icccm.h>

namespace vektrin::test {
namespace {

bool contains(const std::vector<WindowId>& windows, WindowId window) {
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

std::ptrdiff_t position(const std::vector<WindowId>& windows, WindowId window) {
    return std::find(windows.begin(), windows.end(), window) - windows.begin();
}

class X11WindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(probe.connected()) << "the X11 tests need a display (run under xvfb-run)";
    }
    Probe probe;
    std::unique_ptr<WindowSystem> windows = makeX11WindowSystem();
};

TEST_F(X11WindowsTest, ListsClientWindowsTopFirstWithOwnerTitleAndPid) {
    TestClient client({"--title", "Main Task", "--dialog", "Settings"});
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");
    WindowId dialog = client.window("dialog");

    std::vector<WindowId> listed = windows->topLevelWindows();
    ASSERT_TRUE(contains(listed, main));
    ASSERT_TRUE(contains(listed, dialog));
    // Created later, so stacked above: the listing starts at the top.
    EXPECT_LT(position(listed, dialog), position(listed, main));
    EXPECT_FALSE(windows->hasOwner(main));
    EXPECT_TRUE(windows->hasOwner(dialog));
    EXPECT_EQ(windows->title(main), "Main Task");
    EXPECT_EQ(windows->title(dialog), "Settings");
    EXPECT_EQ(windows->processId(main), static_cast<std::uint32_t>(client.pid()));
    EXPECT_EQ(windows->processId(dialog), static_cast<std::uint32_t>(client.pid()));
}

// The root's children that are not client windows stay out of the listing.
TEST_F(X11WindowsTest, LeavesOutWindowsThatAreNoClients) {
    xcb_window_t withoutClass = probe.createWindow(true);
    xcb_window_t neverShown = probe.createWindow();
    probe.setText(neverShown, "WM_CLASS", "never shown");
    xcb_window_t popup = probe.createWindow(true, true);
    probe.setText(popup, "WM_CLASS", "menu");
    std::vector<WindowId> listed = windows->topLevelWindows();
    EXPECT_FALSE(contains(listed, withoutClass));
    EXPECT_FALSE(contains(listed, neverShown));
    EXPECT_FALSE(contains(listed, popup));
    for (xcb_window_t window : {withoutClass, neverShown, popup})
        probe.destroyWindow(window);
}

// What one listing learnt is kept for the next; whatever changes in between must show.
TEST_F(X11WindowsTest, NextListingSeesEveryKindOfChange) {
    TestClient client({"--title", "lower", "--dialog", "upper"});
    ASSERT_TRUE(client.started());
    WindowId lower = client.window("main");
    WindowId upper = client.window("dialog");
    xcb_window_t other = probe.createWindow(true);
    std::vector<WindowId> listed = windows->topLevelWindows();
    ASSERT_LT(position(listed, upper), position(listed, lower));
    EXPECT_FALSE(contains(listed, other));
    EXPECT_FALSE(windows->hasOwner(other));

    probe.raise(lower);
    listed = windows->topLevelWindows();
    EXPECT_LT(position(listed, lower), position(listed, upper)) << "restacked";

    probe.setText(other, "WM_CLASS", "late class");
    EXPECT_TRUE(contains(windows->topLevelWindows(), other)) << "became a client";
    probe.setWindows(other, "WM_TRANSIENT_FOR", {lower});
    probe.setText(other, "WM_NAME", "named later");
    windows->topLevelWindows();
    EXPECT_TRUE(windows->hasOwner(other));
    EXPECT_EQ(windows->title(other), "named later");

    probe.destroyWindow(other);
    EXPECT_FALSE(contains(windows->topLevelWindows(), other)) << "destroyed";
    EXPECT_EQ(windows->title(other), "");
}

struct TitleCase {
    const char* name;
    std::vector<std::string> options;
    std::string expectedTitle;
};

class X11TitleSources : public X11WindowsTest, public ::testing::WithParamInterface<TitleCase> {};

// Title and pid come from wherever the client put them; answers are the same whether the window
// was listed first (batched) or asked about on its own.
TEST_P(X11TitleSources, TitleAndPidFromWhateverTheClientSet) {
    TestClient client(GetParam().options);
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");
    auto pid = static_cast<std::uint32_t>(client.pid());

    EXPECT_EQ(windows->title(main), GetParam().expectedTitle);
    EXPECT_EQ(windows->processId(main), pid);
    ASSERT_TRUE(contains(windows->topLevelWindows(), main));
    EXPECT_EQ(windows->title(main), GetParam().expectedTitle);
    EXPECT_EQ(windows->processId(main), pid);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, X11TitleSources,
    ::testing::Values(TitleCase{"NetWmName", {"--title", "Отчёт за день"}, "Отчёт за день"},
                      TitleCase{"Latin1WmNameOnly", {"--title", "Café", "--latin1-only"}, "Café"},
                      TitleCase{"PidFromServer", {"--title", "No pid", "--no-pid"}, "No pid"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SetTitleCase {
    const char* name;
    std::string title;
    const char* wmNameType;
};

class X11SetTitle : public X11WindowsTest, public ::testing::WithParamInterface<SetTitleCase> {};

TEST_P(X11SetTitle, WritesBothTitlePropertiesAndRestoresAChangedOne) {
    TestClient client({"--title", "program's own title"});
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");
    const std::string& title = GetParam().title;

    ASSERT_TRUE(contains(windows->topLevelWindows(), main));
    windows->setTitle(main, title);
    windows->flush();
    Probe::Property netName = probe.property(main, "_NET_WM_NAME");
    Probe::Property wmName = probe.property(main, "WM_NAME");
    EXPECT_EQ(netName.type, probe.atom("UTF8_STRING"));
    EXPECT_EQ(netName.bytes, title);
    EXPECT_EQ(wmName.type, probe.atom(GetParam().wmNameType));
    EXPECT_EQ(wmName.bytes, title);

    // The program renames its window; the next pass sets the task's title again.
    probe.setText(main, "_NET_WM_NAME", "renamed by the program");
    ASSERT_TRUE(contains(windows->topLevelWindows(), main));
    EXPECT_EQ(windows->title(main), "renamed by the program");
    windows->setTitle(main, title);
    windows->flush();
    EXPECT_EQ(probe.property(main, "_NET_WM_NAME").bytes, title);
    EXPECT_EQ(windows->title(main), title);
}

INSTANTIATE_TEST_SUITE_P(Titles, X11SetTitle,
                         ::testing::Values(SetTitleCase{"Ascii", "Nightly backup", "STRING"},
                                           SetTitleCase{"Utf8", "Сводка ☼", "UTF8_STRING"},
                                           SetTitleCase{"Empty", "", "STRING"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(X11WindowsTest, HideAndShowKeepTheWindow) {
    TestClient client({"--title", "hide me"});
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");

    EXPECT_TRUE(windows->isVisible(main));
    windows->hide(main);
    EXPECT_FALSE(windows->isVisible(main));
    EXPECT_FALSE(probe.mapped(main));
    EXPECT_FALSE(contains(windows->topLevelWindows(), main)); // withdrawn, as under a manager
    windows->show(main);
    EXPECT_TRUE(windows->isVisible(main));
    EXPECT_TRUE(contains(windows->topLevelWindows(), main));
    EXPECT_EQ(windows->title(main), "hide me");
}

struct RunTypeCase {
    const char* name;
    int runType;
    bool visible;
    bool listed;
    bool maximized;
};

class X11RunType : public X11WindowsTest, public ::testing::WithParamInterface<RunTypeCase> {};

TEST_P(X11RunType, AppliesTheWindowModeWithoutAManager) {
    TestClient client({"--title", "mode"});
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");
    std::vector<int> before = probe.geometry(main);

    windows->applyRunType(main, GetParam().runType);
    EXPECT_EQ(windows->isVisible(main), GetParam().visible);
    EXPECT_EQ(contains(windows->topLevelWindows(), main), GetParam().listed);
    auto [width, height] = probe.screenSize();
    std::vector<int> after = probe.geometry(main);
    if (GetParam().maximized) {
        EXPECT_EQ(after, (std::vector<int>{0, 0, width, height}));
        std::vector<std::uint32_t> states = probe.property(main, "_NET_WM_STATE").values;
        for (const char* state : {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"})
            EXPECT_NE(std::find(states.begin(), states.end(), probe.atom(state)), states.end())
                << state;
    } else {
        EXPECT_EQ(after, before);
    }

    // Whatever the mode, the operator's "Unhide" brings the window back.
    windows->show(main);
    EXPECT_TRUE(windows->isVisible(main));
}

INSTANTIATE_TEST_SUITE_P(Modes, X11RunType,
                         ::testing::Values(RunTypeCase{"Normal", 0, true, true, false},
                                           RunTypeCase{"Hidden", 1, false, false, false},
                                           RunTypeCase{"Minimized", 2, false, true, false},
                                           RunTypeCase{"Maximized", 3, true, true, true},
                                           RunTypeCase{"Unknown", 7, true, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(X11WindowsTest, MinimizedWindowIsMarkedIconic) {
    TestClient client({"--title", "iconic"});
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");
    windows->applyRunType(main, 2);
    std::vector<std::uint32_t> state = probe.property(main, "WM_STATE").values;
    ASSERT_FALSE(state.empty());
    EXPECT_EQ(state[0], static_cast<std::uint32_t>(XCB_ICCCM_WM_STATE_ICONIC));
    EXPECT_FALSE(probe.mapped(main));
}

TEST_F(X11WindowsTest, WindowCreatedLaterIsFoundByALaterListing) {
    TestClient client({"--title", "first", "--late", "second"});
    ASSERT_TRUE(client.started());
    std::vector<WindowId> before = windows->topLevelWindows();
    EXPECT_TRUE(contains(before, client.window("main")));

    WindowId late = client.createLateWindow();
    ASSERT_NE(late, 0u);
    EXPECT_FALSE(contains(before, late));
    std::vector<WindowId> after = windows->topLevelWindows();
    ASSERT_TRUE(contains(after, late));
    EXPECT_EQ(position(after, late), 0) << "the newest window is on top";
    EXPECT_EQ(windows->title(late), "second");
    EXPECT_EQ(windows->processId(late), static_cast<std::uint32_t>(client.pid()));
}

// Under an EWMH window manager its stacking list is the truth; a list left behind by a manager
// that has gone is not.
TEST_F(X11WindowsTest, FollowsTheManagersStackingListOnlyWhileTheManagerIsThere) {
    TestClient client({"--title", "managed", "--dialog", "managed dialog"});
    ASSERT_TRUE(client.started());
    WindowId main = client.window("main");
    WindowId dialog = client.window("dialog");
    xcb_window_t check = probe.createWindow();
    probe.setWindows(check, "_NET_SUPPORTING_WM_CHECK", {check});
    probe.setWindows(probe.root(), "_NET_SUPPORTING_WM_CHECK", {check});
    // Bottom to top, the reverse of the actual stacking, so the source is unmistakable.
    probe.setWindows(probe.root(), "_NET_CLIENT_LIST_STACKING", {dialog, main});

    EXPECT_EQ(windows->topLevelWindows(), (std::vector<WindowId>{main, dialog}));

    probe.destroyWindow(check); // the manager is gone, its properties are not
    std::vector<WindowId> listed = windows->topLevelWindows();
    EXPECT_LT(position(listed, dialog), position(listed, main));

    probe.remove(probe.root(), "_NET_SUPPORTING_WM_CHECK");
    probe.remove(probe.root(), "_NET_CLIENT_LIST_STACKING");
}

void expectNoWindows(WindowSystem& windows, WindowId someWindow) {
    EXPECT_TRUE(windows.topLevelWindows().empty());
    EXPECT_FALSE(windows.hasOwner(someWindow));
    EXPECT_EQ(windows.title(someWindow), "");
    EXPECT_EQ(windows.processId(someWindow), 0u);
    EXPECT_FALSE(windows.isVisible(someWindow));
    windows.setTitle(someWindow, "x");
    windows.show(someWindow);
    windows.hide(someWindow);
    for (int runType = 0; runType < 4; ++runType)
        windows.applyRunType(someWindow, runType);
    windows.flush();
}

TEST(X11WithoutDisplay, EveryCallIsAHarmlessNoOp) {
    auto null = makeNullWindowSystem();
    expectNoWindows(*null, 0x400001);
    ScopedEnv noDisplay("DISPLAY", nullptr);
    auto windows = makeX11WindowSystem();
    expectNoWindows(*windows, 0x400001);
}

TEST(X11WithoutDisplay, SurvivesLosingTheDisplayAndReconnects) {
    auto server = std::make_unique<PrivateXServer>();
    ASSERT_TRUE(server->running());
    std::string display = server->display();
    ScopedEnv onServer("DISPLAY", display.c_str());
    auto windows = makeX11WindowSystem();
    WindowId shown = 0;
    {
        TestClient client({"--title", "before"});
        ASSERT_TRUE(client.started());
        shown = client.window("main");
        ASSERT_TRUE(contains(windows->topLevelWindows(), shown));
    }
    server.reset();
    // The server is gone; writing to it must not end the process (SIGPIPE) nor fail.
    windows->setTitle(shown, "written into the void");
    windows->show(shown);
    expectNoWindows(*windows, shown);

    server = std::make_unique<PrivateXServer>(display);
    ASSERT_TRUE(server->running());
    TestClient client({"--title", "after"});
    ASSERT_TRUE(client.started());
    bool found = false;
    for (int pass = 0; pass < 64 && !found; ++pass)
        found = contains(windows->topLevelWindows(), client.window("main"));
    EXPECT_TRUE(found) << "the layer connects again to a display that is back";
    EXPECT_EQ(windows->title(client.window("main")), "after");
}

} // namespace
} // namespace vektrin::test
