#pragma once

// SIGINT (Ctrl+C in the terminal the tool was started from) and SIGTERM (logout, shutdown, kill) end the
// event loop, so that the program ends as after its window closed, with a recording complete, instead of
// being cut off. It ends also while the controller is attached: a signal is no request to close the
// window, which the window would refuse. Needs the application object; call once.
void quit_on_termination_signals();
