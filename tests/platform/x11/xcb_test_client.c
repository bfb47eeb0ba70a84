/* A stand-in task program with windows, driven by the X11 tests.
 *
 *   --title T        an unowned top-level window titled T (_NET_WM_NAME and WM_NAME)
 *   --dialog T       a dialog owned by it (WM_TRANSIENT_FOR)
 *   --late T         one more unowned window, created on the line "late" on stdin, or
 *   --late-after N   ... after N milliseconds instead
 *   --latin1-only    titles only as WM_NAME in Latin-1 (as old programs do)
 *   --no-pid         no _NET_WM_PID: the pid must come from the server
 *   --extra N        N more unowned titled windows ("extra 1" ...)
 *
 * Prints "main <id>", "dialog <id>", "ready" once its windows exist at the server, "late <id>"
 * when the late window does; exits when stdin closes or reads "quit".
 */
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>

static xcb_connection_t* conn;
static xcb_screen_t* screen;
static int latin1Only;
static int withPid = 1;

static xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t result = reply ? reply->atom : XCB_ATOM_NONE;
    free(reply);
    return result;
}

/* UTF-8 to Latin-1 for the characters Latin-1 has; others become '?'. */
static size_t toLatin1(const char* in, char* out) {
    size_t n = 0;
    for (const unsigned char* p = (const unsigned char*)in; *p;) {
        if (*p < 0x80) {
            out[n++] = (char)*p++;
        } else if ((*p == 0xC2 || *p == 0xC3) && p[1]) {
            out[n++] = (char)(((p[0] & 0x03) << 6) | (p[1] & 0x3F));
            p += 2;
        } else {
            out[n++] = '?';
            ++p;
            while ((*p & 0xC0) == 0x80)
                ++p;
        }
    }
    return n;
}

static void setText(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const char* text,
                    size_t length) {
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, property, type, 8, (uint32_t)length,
                        text);
}

static xcb_window_t makeWindow(const char* title, xcb_window_t owner) {
    xcb_window_t window = xcb_generate_id(conn);
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200, 100, 1,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, NULL);
    static const char wmClass[] = "vktclient\0VktClient";
    setText(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, wmClass, sizeof wmClass);
    if (latin1Only) {
        char buffer[1024];
        if (strlen(title) < sizeof buffer)
            setText(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, buffer, toLatin1(title, buffer));
    } else {
        xcb_atom_t utf8 = atom("UTF8_STRING");
        setText(window, atom("_NET_WM_NAME"), utf8, title, strlen(title));
        setText(window, XCB_ATOM_WM_NAME, utf8, title, strlen(title));
    }
    if (withPid) {
        uint32_t pid = (uint32_t)getpid();
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
    }
    if (owner)
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &owner);
    xcb_map_window(conn, window);
    return window;
}

/* Returns once the server has carried out everything sent so far. */
static void roundTrip(void) {
    free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), NULL));
}

int main(int argc, char** argv) {
    const char* title = NULL;
    const char* dialog = NULL;
    const char* late = NULL;
    int lateAfter = -1;
    int extra = 0;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--title") && i + 1 < argc)
            title = argv[++i];
        else if (!strcmp(argv[i], "--dialog") && i + 1 < argc)
            dialog = argv[++i];
        else if (!strcmp(argv[i], "--late") && i + 1 < argc)
            late = argv[++i];
        else if (!strcmp(argv[i], "--late-after") && i + 1 < argc)
            lateAfter = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--extra") && i + 1 < argc)
            extra = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--latin1-only"))
            latin1Only = 1;
        else if (!strcmp(argv[i], "--no-pid"))
            withPid = 0;
        else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    setvbuf(stdout, NULL, _IOLBF, 0);
    conn = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(conn)) {
        fprintf(stderr, "no display\n");
        return 1;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;

    xcb_window_t mainWindow = 0;
    if (title) {
        mainWindow = makeWindow(title, 0);
        printf("main %u\n", mainWindow);
    }
    if (dialog) {
        xcb_window_t dialogWindow = makeWindow(dialog, mainWindow);
        printf("dialog %u\n", dialogWindow);
    }
    for (int i = 1; i <= extra; ++i) {
        char name[32];
        snprintf(name, sizeof name, "extra %d", i);
        makeWindow(name, 0);
    }
    roundTrip();
    printf("ready\n");

    char line[64];
    size_t used = 0;
    for (;;) {
        struct pollfd fds[2] = {{0, POLLIN, 0}, {xcb_get_file_descriptor(conn), POLLIN, 0}};
        int timeout = late && lateAfter >= 0 ? lateAfter : -1;
        int ready = poll(fds, 2, timeout);
        if (ready == 0 && late) {
            xcb_window_t window = makeWindow(late, 0);
            roundTrip();
            printf("late %u\n", window);
            late = NULL;
            continue;
        }
        if (fds[1].revents) {
            xcb_generic_event_t* event;
            while ((event = xcb_poll_for_event(conn)))
                free(event);
            if (xcb_connection_has_error(conn)) return 1;
        }
        if (fds[0].revents) {
            ssize_t n = read(0, line + used, sizeof line - 1 - used);
            if (n <= 0) break;
            used += (size_t)n;
            line[used] = '\0';
            char* end;
            while ((end = strchr(line, '\n'))) {
                *end = '\0';
                if (!strcmp(line, "quit")) goto done;
                if (!strcmp(line, "late") && late) {
                    xcb_window_t window = makeWindow(late, 0);
                    roundTrip();
                    printf("late %u\n", window);
                    late = NULL;
                }
                used -= (size_t)(end + 1 - line);
                memmove(line, end + 1, used + 1);
            }
            if (used == sizeof line - 1) used = 0;
        }
    }
done:
    xcb_disconnect(conn);
    return 0;
}
