// The command line and the help.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wstring.h"

// The default and the largest value of -wait: ten minutes, as deployment
// tools wait for Windows Installer, and one day.
constexpr std::uint32_t kDefaultWaitSeconds = 600;
constexpr std::uint32_t kMaxWaitSeconds = 86400;

struct BootstrapOptions {
  bool csp = false;
  bool ucsp = false;
  bool selectDlg = false;
  bool silent = false;
  bool reinstall = false;
  bool norestart = false;
  WString cspArgs;      // each "-CSPArgs" value + " "
  WString ucspArgs;     // each "-UCSPArgs" value + " "
  WString pluginArgs;   // " " + each "-VexisArgs" value + " "
  WString kcPattern;    // "*" + each "-KC" value + "*", then the dialog's choice
  WString langPattern;  // "*" + each "-Lang" value + "*", then the dialog's choice
  // "-wait" value: how long each installer start waits for another
  // installation to end, in seconds (0: not at all).
  std::uint32_t waitSeconds = kDefaultWaitSeconds;
};

enum class ParseOutcome { kOptions, kHelp };

// Applies arguments[1..] to options, left to right (arguments[0] is the
// program). kHelp when an argument asks for the help or is not understood
// (also a -wait value that is not a whole number from 0 to 86400); options
// then hold what was parsed up to that argument.
ParseOutcome ParseArguments(const std::vector<WString>& arguments, BootstrapOptions& options);

// Fills options from the process's full command line and returns 0, with
// outcome kHelp when the help is to be shown (the options then hold what was
// parsed up to the argument that asked for it). When the command line cannot
// be split, returns the system's error code with every option at its
// default: the run cannot tell what was asked of it (-silent among others)
// and must end without a box.
std::uint32_t ParseCommandLine(BootstrapOptions& options, ParseOutcome& outcome);

// The help text for the provider flags as they stand.
WString BuildUsageText(bool csp, bool ucsp);
