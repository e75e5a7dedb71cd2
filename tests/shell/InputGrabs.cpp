#include "InputGrabs.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace inputgrabs {

namespace {

struct ConnectionCloser
{
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// Takes the pointer and the keyboard for a moment and gives them back: the X
// server refuses a grab only while another client holds one.
bool bothFree(xcb_connection_t* connection, xcb_window_t root)
{
    const xcb_grab_pointer_cookie_t pointerCookie =
        xcb_grab_pointer(connection, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                         XCB_NONE, XCB_CURRENT_TIME);
    const xcb_grab_keyboard_cookie_t keyboardCookie = xcb_grab_keyboard(
        connection, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_grab_pointer_reply_t* pointer = xcb_grab_pointer_reply(connection, pointerCookie, nullptr);
    xcb_grab_keyboard_reply_t* keyboard =
        xcb_grab_keyboard_reply(connection, keyboardCookie, nullptr);
    const bool pointerFree = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
    const bool keyboardFree = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(pointer);
    std::free(keyboard);
    if (pointerFree)
        xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
    if (keyboardFree)
        xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
    // The grabs are given back before the test's next click leaves.
    xcb_get_input_focus_reply_t* sync =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    std::free(sync);
    return pointerFree && keyboardFree;
}

} // namespace

bool waitUntilFree(const QString& display, int timeoutMs, qint64* waitedMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    const std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(
        xcb_connect(display.toLocal8Bit().constData(), nullptr));
    if (xcb_connection_has_error(connection.get()))
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    const QDeadlineTimer deadline(timeoutMs);
    bool free = bothFree(connection.get(), root);
    while (!free && !deadline.hasExpired()) {
        QTest::qWait(20);
        free = bothFree(connection.get(), root);
    }
    if (waitedMs)
        *waitedMs = elapsed.elapsed();
    return free;
}

} // namespace inputgrabs
