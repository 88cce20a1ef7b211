#include "driver/stop_requests.h"

#include "driver/state.h"

static void on_stop_request(StopCause cause) {
    // A broken output is never the user asking again.
    const bool again = cause == STOP_BY_USER && state.user_stop_requests.fetch_add(1) != 0;
    state.stop_requested = 1;
    // At a key wait nothing is left to clean up.
    if (again || state.awaiting_key) os_end_by_stop();
}

void watch_stop_requests() {
    os_watch_stops(on_stop_request);
}

void acknowledge_stop_request(bool directories_made) {
    if (!state.stop_requested || state.stop_acknowledged) return;
    state.stop_acknowledged = 1;
    if (directories_made)
        os_print("\r\n.DIAG. Orvenna stopping... Removing the directories created so far.\r\n");
    else
        os_print("\r\n.DIAG. Orvenna stopping...\r\n");
}
