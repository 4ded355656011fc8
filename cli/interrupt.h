#pragma once

// Ctrl-C (and a polite SIGTERM or SIGHUP) only set a flag: the running command looks
// at it between exchanges, so a transfer is ended the way the pack expects
// and no half-written line is left behind. A second Ctrl-C ends the
// program at once.
void InstallInterruptHandler();
bool InterruptRequested();
