// Fuzzes the command-line parser with arbitrary argument vectors, built so
// that option names (in any letter case) turn up often among raw UTF-16
// text. Every vector must give the options, the help asked for, or a command
// line not understood (with the first argument not understood and whether
// -silent stands anywhere on it); each must agree with a second, independent
// reading of the option table, and
// ParseCommandLine must give the same outcome and options, showing nothing
// (the help is the run's to show).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "bootstrap/command_line.h"
#include "tests/sim/sim_world.h"

namespace {

const char16_t* const kWords[] = {
    u"-help", u"--help",   u"/help",     u"-csp",    u"-ucsp",     u"-selectDlg", u"-silent",
    u"-reinstall", u"-norestart", u"-CSPArgs", u"-KC", u"-Lang",    u"-UCSPArgs", u"-VexisArgs",
    u"-?",    u"",         u"/qn",       u"/L*v",    u"REINSTALL=ALL", u"-", u"\"a b\"",
    u"-wait", u"0",        u"600",       u"86400",   u"86401",  u"/?",
};
constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Reads the fuzzer's bytes as a list of arguments: a byte below 2 * kWordCount
// picks a known word (odd: with its letter case changed by the next byte's
// bits), any other byte starts a raw argument of up to 31 UTF-16 units.
std::vector<WString> Arguments(const std::uint8_t* data, std::size_t size) {
  std::vector<WString> arguments = {u"C:\\dist\\vexissetup.exe"};
  std::size_t at = 0;
  while (at < size && arguments.size() < 64) {
    const std::uint8_t selector = data[at++];
    if (selector < 2 * kWordCount) {
      WString word = kWords[selector / 2];
      if (selector % 2 == 1 && at < size) {
        const std::uint8_t bits = data[at++];
        for (std::size_t i = 0; i < word.size(); ++i) {
          const char16_t c = word[i];
          if (!((bits >> (i % 8)) & 1)) continue;
          if (c >= u'a' && c <= u'z') word[i] = static_cast<char16_t>(c - 32);
          else if (c >= u'A' && c <= u'Z') word[i] = static_cast<char16_t>(c + 32);
        }
      }
      arguments.push_back(word);
      continue;
    }
    const std::size_t length = selector % 32;
    WString raw;
    for (std::size_t i = 0; i < length && at + 1 < size; ++i, at += 2)
      raw.push_back(static_cast<char16_t>(data[at] | (data[at + 1] << 8)));
    arguments.push_back(raw);
  }
  return arguments;
}

// The option table read once more, plainly: ASCII letters folded, whole
// arguments compared, "-reinstall" exact, value options only after their
// provider flag, the value taken verbatim.
char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool Is(const WString& argument, const WString& option) {
  if (argument.size() != option.size()) return false;
  for (std::size_t i = 0; i < argument.size(); ++i)
    if (Lower(argument[i]) != Lower(option[i])) return false;
  return true;
}

// Not understood at arguments[at]: that argument, and whether any argument
// at all reads -silent.
ParseOutcome NotUnderstood(const std::vector<WString>& arguments, std::size_t at, ParseFailure& f) {
  f.argument = arguments[at];
  f.silent = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) f.silent = f.silent || Is(arguments[i], u"-silent");
  return ParseOutcome::kNotUnderstood;
}

ParseOutcome Model(const std::vector<WString>& arguments, BootstrapOptions& o, ParseFailure& f) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const WString& a = arguments[i];
    if (Is(a, u"-help") || Is(a, u"--help") || Is(a, u"/help") || a == u"-?") return ParseOutcome::kHelp;
    if (Is(a, u"-csp")) { o.csp = true; continue; }
    if (Is(a, u"-ucsp")) { o.ucsp = true; continue; }
    if (Is(a, u"-selectdlg")) { o.selectDlg = true; continue; }
    if (Is(a, u"-silent")) { o.silent = true; continue; }
    if (a == u"-reinstall") { o.reinstall = true; continue; }
    if (Is(a, u"-norestart")) { o.norestart = true; continue; }
    if (Is(a, u"-wait")) {
      // Whole seconds, 0 to 86400, in ASCII digits.
      if (i + 1 >= arguments.size()) return NotUnderstood(arguments, i, f);
      const WString& value = arguments[++i];
      if (value.empty()) return NotUnderstood(arguments, i, f);
      unsigned long long seconds = 0;
      for (const char16_t c : value) {
        if (c < u'0' || c > u'9') return NotUnderstood(arguments, i, f);
        seconds = seconds * 10 + (c - u'0');
        if (seconds > 86400) return NotUnderstood(arguments, i, f);
      }
      o.waitSeconds = static_cast<std::uint32_t>(seconds);
      continue;
    }
    WString* target = nullptr;
    WString before, after;
    if (o.csp && Is(a, u"-cspargs")) { target = &o.cspArgs; after = u" "; }
    else if (o.csp && Is(a, u"-kc")) { target = &o.kcPattern; before = after = u"*"; }
    else if (o.csp && Is(a, u"-lang")) { target = &o.langPattern; before = after = u"*"; }
    else if (o.ucsp && Is(a, u"-ucspargs")) { target = &o.ucspArgs; after = u" "; }
    else if (Is(a, u"-vexisargs")) { target = &o.pluginArgs; before = after = u" "; }
    if (!target || i + 1 >= arguments.size()) return NotUnderstood(arguments, i, f);
    *target += before + arguments[++i] + after;
  }
  return ParseOutcome::kOptions;
}

bool Same(const BootstrapOptions& a, const BootstrapOptions& b) {
  return a.csp == b.csp && a.ucsp == b.ucsp && a.selectDlg == b.selectDlg &&
         a.silent == b.silent && a.reinstall == b.reinstall && a.norestart == b.norestart &&
         a.cspArgs == b.cspArgs && a.ucspArgs == b.ucspArgs && a.pluginArgs == b.pluginArgs &&
         a.kcPattern == b.kcPattern && a.langPattern == b.langPattern &&
         a.waitSeconds == b.waitSeconds;
}

bool Wrapped(const WString& text, char16_t front, char16_t back) {
  return text.empty() || (text.size() >= 2 && text.front() == front && text.back() == back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<WString> arguments = Arguments(data, size);

  BootstrapOptions options;
  ParseFailure failure;
  const ParseOutcome outcome = ParseArguments(arguments, options, failure);
  Check(outcome == ParseOutcome::kOptions || outcome == ParseOutcome::kHelp ||
            outcome == ParseOutcome::kNotUnderstood,
        "outcome");
  BootstrapOptions expected;
  ParseFailure expectedFailure;
  Check(Model(arguments, expected, expectedFailure) == outcome, "outcome differs from the option table");
  Check(Same(options, expected), "options differ from the option table");
  if (outcome == ParseOutcome::kNotUnderstood) {
    Check(failure.argument == expectedFailure.argument, "another argument named as not understood");
    Check(failure.silent == expectedFailure.silent, "-silent anywhere read otherwise");
    Check(!failure.reason.empty(), "no reason given");
  }

  // Each value option wraps what it appends; a provider's values exist only
  // with its flag.
  Check(Wrapped(options.pluginArgs, u' ', u' '), "pluginArgs not wrapped in blanks");
  Check(options.cspArgs.empty() || options.cspArgs.back() == u' ', "cspArgs without its blank");
  Check(options.ucspArgs.empty() || options.ucspArgs.back() == u' ', "ucspArgs without its blank");
  Check(Wrapped(options.kcPattern, u'*', u'*'), "kcPattern not wrapped in *");
  Check(Wrapped(options.langPattern, u'*', u'*'), "langPattern not wrapped in *");
  Check(options.csp || (options.cspArgs.empty() && options.kcPattern.empty() &&
                        options.langPattern.empty()),
        "csp values without -csp");
  Check(options.ucsp || options.ucspArgs.empty(), "ucsp values without -ucsp");

  // The same vector as the process's command line: the same outcome and
  // options (up to the argument that asked for the help), and no box.
  sim::Reset();
  sim::W().commandLine = arguments;
  BootstrapOptions parsed;
  ParseOutcome parsedOutcome = ParseOutcome::kOptions;
  ParseFailure parsedFailure;
  Check(ParseCommandLine(parsed, parsedOutcome, parsedFailure) == 0, "the command line was not split");
  Check(parsedOutcome == outcome, "ParseCommandLine's outcome differs from ParseArguments'");
  Check(Same(parsed, options), "ParseCommandLine differs from ParseArguments");
  Check(parsedFailure.argument == failure.argument && parsedFailure.silent == failure.silent,
        "ParseCommandLine's failure differs from ParseArguments'");
  Check(sim::W().boxes.empty(), "parsing showed a box");
  return 0;
}
