// The decision how the plug-in package is handed to Windows Installer, in two
// steps around the one box a person may have to answer.
#pragma once

#include "bootstrap/messages.h"
#include "install/checked_file.h"
#include "install/installer_busy.h"
#include "packages/product_queries.h"
#include "platform/wstring.h"

// The one package file, held and checked before anything reads it (read,
// compared, installed and recorded in its product's source list), the
// related installed product and how the two compare.
struct PluginPlan {
  CheckedFile file;
  PackageIdentity package;
  WString installedCode;   // empty when no related product is installed
  bool installed = false;  // that product is installed for use (state 5)
  int comparison = 0;      // the package against it, when installed: -1, 0, +1
};

// Finds the plug-in package once ("vexiscom" + architecture pattern), opens
// and checks it (OpenCheckedFile: held, and with the check on verified,
// before anything reads it), reads its codes and version from its database
// by its final path, finds the related installed product and, when that is
// installed, compares the versions. 0 and the plan, with the box a person
// must answer or see first: the reinstall question (147, caption 128,
// MB_YESNO; same version, no -reinstall) or the notice that a newer version
// is installed (150, caption 128). A package the check refuses: refused, its
// code and message 153 under caption 129, nothing read from it. A package
// not found, not opened or not readable: its code (232, 206, the open's, the
// database's) and message 151 under caption 129; a failed comparison:
// CompareWithInstalled's.
StepResult PlanPluginInstallation(const PublisherCheck& check, bool reinstall, PluginPlan& plan);

// The answer to the plan's box: kNotAsked in a silent run (no box shown).
enum class Answer { kNotAsked, kYes, kOther };

// Decides with the answer: the same version gives 0 not asked, 1602 not Yes
// (nothing is run); a newer version installed gives 0 when told and, not
// asked, installs the older package over it. Puts in front of the text
// " ADDLOCAL=NPVEXIS" when the installed product lacks the feature,
// "REINSTALL=ALL REINSTALLMODE=vomus" (+ " /qb" unless it holds "/q") for
// the same product code, " /qb" when it holds no "/q" (case-sensitive), and
// returns RunInstaller's result (which alone writes logPath), waiting for
// Windows Installer as `wait` says.
StepResult InstallPlannedPlugin(const PluginPlan& plan, Answer answer, const WString& extraArguments,
                                bool reinstall, WString& logPath, const InstallerWait& wait);
