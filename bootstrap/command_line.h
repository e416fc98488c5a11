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

// kHelp: the help was asked for (-help, --help, /help, -?); kNotUnderstood:
// an argument was not understood, which the run reports as a command line
// it cannot use.
enum class ParseOutcome { kOptions, kHelp, kNotUnderstood };

// What a command line that was not understood is told by.
struct ParseFailure {
  WString argument;  // the first argument not understood, as written
  WString reason;    // "unknown option", "a value is missing", "-KC before -csp", ...
  // Whether any argument reads -silent (in any letter case), wherever it
  // stands: before or after the argument not understood, also where it is
  // the value of a value option (-VexisArgs -silent). A command line that was
  // not understood cannot tell what its writer meant, and a box that nobody
  // may see is worse than a help that is not shown.
  bool silent = false;
};

// Applies arguments[1..] to options, left to right (arguments[0] is the
// program); the first argument that asks for the help or is not understood
// ends the parse, and options then hold what was parsed up to it. On
// kNotUnderstood, failure says which argument and why: a word that is no
// option (-Reinstall too), a value option as the last argument, a provider's
// value option before its provider flag, a -wait value that is not a whole
// number from 0 to 86400.
ParseOutcome ParseArguments(const std::vector<WString>& arguments, BootstrapOptions& options,
                            ParseFailure& failure);

// Fills options (and failure) from the process's full command line and
// returns 0, with the outcome of ParseArguments. When the command line
// cannot be split, returns the system's error code with every option at its
// default: the run cannot tell what was asked of it (-silent among others)
// and must end without a box.
std::uint32_t ParseCommandLine(BootstrapOptions& options, ParseOutcome& outcome, ParseFailure& failure);

// The help text for the provider flags as they stand.
WString BuildUsageText(bool csp, bool ucsp);
