#include "bootstrap/command_line.h"

#include "platform/platform.h"
#include "platform/result_codes.h"

namespace {

enum class Option {
  kHelp, kCsp, kUcsp, kSelectDlg, kSilent, kReinstall, kNorestart,  // flags
  kCspArgs, kKc, kLang, kUcspArgs, kVexisArgs, kWait,              // take a value
  kUnknown,
};

// The first matching row decides; value options are recognised only after
// their provider flag.
Option Classify(const WString& argument, const BootstrapOptions& options) {
  if (EqualIgnoringAsciiCase(argument, u"-help") || EqualIgnoringAsciiCase(argument, u"--help") ||
      EqualIgnoringAsciiCase(argument, u"/help") || argument == u"-?")
    return Option::kHelp;
  if (EqualIgnoringAsciiCase(argument, u"-csp")) return Option::kCsp;
  if (EqualIgnoringAsciiCase(argument, u"-ucsp")) return Option::kUcsp;
  if (EqualIgnoringAsciiCase(argument, u"-selectDlg")) return Option::kSelectDlg;
  if (EqualIgnoringAsciiCase(argument, u"-silent")) return Option::kSilent;
  if (argument == u"-reinstall") return Option::kReinstall;
  if (EqualIgnoringAsciiCase(argument, u"-norestart")) return Option::kNorestart;
  if (options.csp && EqualIgnoringAsciiCase(argument, u"-CSPArgs")) return Option::kCspArgs;
  if (options.csp && EqualIgnoringAsciiCase(argument, u"-KC")) return Option::kKc;
  if (options.csp && EqualIgnoringAsciiCase(argument, u"-Lang")) return Option::kLang;
  if (options.ucsp && EqualIgnoringAsciiCase(argument, u"-UCSPArgs")) return Option::kUcspArgs;
  if (EqualIgnoringAsciiCase(argument, u"-VexisArgs")) return Option::kVexisArgs;
  if (EqualIgnoringAsciiCase(argument, u"-wait")) return Option::kWait;
  return Option::kUnknown;
}

// Why an argument that matched no row was not understood: a provider's value
// option before its flag, a -reinstall with a capital letter, or no option.
WString WhyUnknown(const WString& argument) {
  const struct {
    const char16_t* option;
    const char16_t* reason;
  } kProviderValues[] = {{u"-CSPArgs", u"-CSPArgs before -csp"},
                         {u"-KC", u"-KC before -csp"},
                         {u"-Lang", u"-Lang before -csp"},
                         {u"-UCSPArgs", u"-UCSPArgs before -ucsp"}};
  for (const auto& row : kProviderValues)
    if (EqualIgnoringAsciiCase(argument, row.option)) return row.reason;
  if (EqualIgnoringAsciiCase(argument, u"-reinstall"))
    return u"unknown option (only -reinstall in lower case is one)";
  return u"unknown option";
}

// A whole number of seconds from 0 to 86400, ASCII digits only (leading
// zeros allowed); false for anything else, sign and blanks included.
bool ParseSeconds(const WString& text, std::uint32_t& seconds) {
  if (text.empty()) return false;
  std::uint32_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - u'0');
    if (value > kMaxWaitSeconds) return false;
  }
  seconds = value;
  return true;
}

ParseOutcome NotUnderstood(const std::vector<WString>& arguments, const WString& argument,
                           const WString& reason, ParseFailure& failure) {
  failure.argument = argument;
  failure.reason = reason;
  failure.silent = false;
  for (std::size_t i = 1; i < arguments.size(); ++i)
    failure.silent = failure.silent || EqualIgnoringAsciiCase(arguments[i], u"-silent");
  return ParseOutcome::kNotUnderstood;
}

}  // namespace

ParseOutcome ParseArguments(const std::vector<WString>& arguments, BootstrapOptions& options,
                            ParseFailure& failure) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const Option option = Classify(arguments[i], options);
    switch (option) {
      case Option::kHelp: return ParseOutcome::kHelp;
      case Option::kUnknown:
        return NotUnderstood(arguments, arguments[i], WhyUnknown(arguments[i]), failure);
      case Option::kCsp: options.csp = true; continue;
      case Option::kUcsp: options.ucsp = true; continue;
      case Option::kSelectDlg: options.selectDlg = true; continue;
      case Option::kSilent: options.silent = true; continue;
      case Option::kReinstall: options.reinstall = true; continue;
      case Option::kNorestart: options.norestart = true; continue;
      default: break;
    }
    // A value option takes the next argument verbatim, never examined as an
    // option itself; as the last argument it has no value.
    if (i + 1 >= arguments.size())
      return NotUnderstood(arguments, arguments[i], u"a value is missing", failure);
    const WString& value = arguments[++i];
    switch (option) {
      case Option::kCspArgs: options.cspArgs += value + u" "; break;
      case Option::kUcspArgs: options.ucspArgs += value + u" "; break;
      case Option::kVexisArgs: options.pluginArgs += u" " + value + u" "; break;
      case Option::kKc: options.kcPattern += u"*" + value + u"*"; break;
      case Option::kLang: options.langPattern += u"*" + value + u"*"; break;
      case Option::kWait:
        if (!ParseSeconds(value, options.waitSeconds))
          return NotUnderstood(arguments, value,
                               u"the value of -wait is not a whole number of seconds from 0 to 86400",
                               failure);
        break;
      default: break;
    }
  }
  return ParseOutcome::kOptions;
}

std::uint32_t ParseCommandLine(BootstrapOptions& options, ParseOutcome& outcome, ParseFailure& failure) {
  std::vector<WString> arguments;
  if (!platform::SplitCommandLine(arguments))
    return winerror::NonZeroCode(platform::GetLastError(), winerror::kNotEnoughMemory);
  outcome = ParseArguments(arguments, options, failure);
  return 0;
}

WString BuildUsageText(bool csp, bool ucsp) {
  WString text =
      u"Установщик Норвикс ЭЦП Browser plug-in.\n"
      u"При запуске без параметров осуществляет установку с параметрами по умолчанию.\n"
      u"\n"
      u"Возможные параметры командной строки:\n"
      u"  -?\t\t\tвывести данную справку\n"
      u"  -vexisargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки(<args>) для\n"
      u"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI плагина\n"
      u"  -reinstall\t\t\tпереустановка продукта\n"
      u"  -silent\t\t\tподавить диалоговые окна\n\t\t\tбутстраппера\n"
      u"  -norestart\t\tподавить перезагрузку, если она\n\t\t\tбудет необходима\n";
  if (csp)
    text +=
        u"  -cspargs \"<args>\"\tдополнителные параметры\n\t\t\tкомандной строки (<args>) для\n"
        u"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Норвикс CSP\n";
  if (ucsp)
    text +=
        u"  -ucspargs \"<args>\"\tдополнительные параметры\n\t\t\tкомандной строки (<args>) для\n"
        u"\t\t\tвызова msiexec /i при установке\n\t\t\tпакета MSI Норвикс УЭК CSP\n";
  if (csp)
    text +=
        u"  -selectDlg\tвывести диалог выбора конфигурации Норвикс CSP\n"
        u"  -KC\t\t\tуровень KC Норвикс CSP\n"
        u"  -Lang\t\t\tязык Норвикс CSP\n";
  return text;
}
