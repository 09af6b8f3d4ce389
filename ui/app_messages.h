// Messages that our threads post to windows of the user-interface thread.
// All of them live in this one enum, so no two features pick the same number.
// Each entry says what wParam and lParam carry and who frees a pointer.
#pragma once

#include <windows.h>

namespace kro::ui {

enum AppMessage : UINT {
    // A batch of finished list rows from a list-loading thread.
    // wParam: the generation of the load the batch belongs to; the window
    //         keeps the batch only when that is still the current load.
    // lParam: the batch, allocated with new by the loading thread. Once
    //         PostMessage has succeeded the window owns it and deletes it,
    //         whether it applies the batch or drops it; when PostMessage fails
    //         the loading thread deletes it. The window must not end while a
    //         loading thread can still post (a message queued for a destroyed
    //         window is discarded with its pointer).
    kRowBatchMessage = WM_APP + 1,
    // The export worker has ended: posted by the worker as its last act, only
    // when the progress dialog could not set its done-check timer, so that
    // the dialog still asks its closing question. wParam, lParam: 0.
    kExportDoneMessage = WM_APP + 2,
    // Rows of the current list load still wait to go into the lists: posted
    // by the window's own thread (ListLoadThread) to ask for another turn,
    // so that the window serves its other messages between two slices of
    // rows. At most one is outstanding. wParam, lParam: 0; no pointer,
    // nothing to free.
    kRowsPendingMessage = WM_APP + 3,
    // A list load could not read the card: the device library's host
    // crashed or hung on the first try and on a second with a fresh host.
    // Posted by the loading thread instead of its last batch. wParam: the
    // load's generation (the window tells the user only while it is
    // current); lParam: 0; no pointer.
    kCardUnreadableMessage = WM_APP + 4,
    // The device library's start-up thread has ended: the main dialog
    // looks at its outcome (the window's card-watch tick looks too, should
    // this message be lost). Posted by that thread as its last act.
    // wParam, lParam: 0; no pointer.
    kLibraryStartedMessage = WM_APP + 5,
};

// The timer that posts kRowsPendingMessage again when the queue had no room
// for it. It has a timer procedure, so DispatchMessage calls that and the
// window's procedure never sees its WM_TIMER; its ID is the message's number,
// well clear of the small IDs that windows give their own timers.
inline constexpr UINT_PTR kRowsPendingRetryTimer = kRowsPendingMessage;

}  // namespace kro::ui
