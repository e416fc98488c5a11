// The run on top of the system: the single pass from the command line to the
// exit code, and the run log's start and end. It reaches every module below
// it (install, dialog, packages, bootstrap, platform); nothing reaches it.
#pragma once

// tailEmpty: the command-line tail after the program's name is empty; the
// options are then not parsed at all. Returns the process exit code.
int RunBootstrap(bool tailEmpty);
