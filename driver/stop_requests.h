#pragma once

// A stop request (Ctrl-C and the like, or output whose reader has gone) is
// acted on at once: the workers stop creating, what they made is removed, and
// the run ends. At a key wait, or when the user asks a second time, it ends
// the program at once.
void watch_stop_requests();
// On the main thread: says, once, that a stop request is being acted on, and
// that the cycle's directories are being removed when it has made some.
void acknowledge_stop_request(bool directories_made);
