// The single pass through the run, from the caption to the exit code.
#pragma once

// tailEmpty: the command-line tail after the program's name is empty; the
// options are then not parsed at all. Returns the process exit code.
int RunBootstrap(bool tailEmpty);
