#pragma once

// A stop request (Ctrl-C and the like) is acted on at the next safe point,
// where no cycle is half done: the run cleans up and ends. At a key wait, or
// when it comes a second time, it ends the program at once.
void watch_stop_requests();
// A safe point: removes the workspace and ends the program if a stop was requested.
void stop_if_requested();
