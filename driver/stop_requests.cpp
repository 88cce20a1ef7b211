#include "driver/stop_requests.h"

#include "driver/exits.h"
#include "driver/state.h"

static void on_stop_request() {
    if (state.stop_requested.exchange(1) != 0 || state.awaiting_key) os_end_by_stop();
}

void watch_stop_requests() {
    os_watch_stops(on_stop_request);
}

void stop_if_requested() {
    if (state.stop_requested) stopped_exit();
}
