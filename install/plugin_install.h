// The decision how the plug-in package is handed to Windows Installer, in two
// steps around the one question a person may have to answer.
#pragma once

#include <cstdint>

#include "bootstrap/messages.h"
#include "install/signatures.h"
#include "packages/product_queries.h"
#include "platform/wstring.h"

// What the first step found: the one package file (compared, installed and
// recorded in its product's source list), the related installed product and
// how the two compare.
struct PluginPlan {
  WString packagePath;
  PackageIdentity package;
  WString installedCode;  // the related product's code; empty when none is installed
  bool installed = false;  // that product is installed for use (state 5)
  int comparison = 0;      // the package against it, when installed: -1, 0, +1
};

// Finds the plug-in package once ("vexiscom" + architecture pattern, a
// ".msi" file in a subfolder of the current directory), reads its codes and
// version from its database, finds the related installed product and, when
// that is installed, compares the versions. Returns 0 with the plan, and
// with the box to show before the second step when a person must decide or
// be told: the reinstall question (147 under caption 128, MB_YESNO) when the
// same version is installed and no reinstallation was asked for, the notice
// that a newer version is installed (150 under caption 128, MB_ICONERROR).
// A package that cannot be found or read: its code (232 no package, 206 a
// path too long for Windows Installer, or the database call's) with message
// 151 under caption 129; a failed comparison: CompareWithInstalled's code
// and box.
StepResult PlanPluginInstallation(bool reinstall, PluginPlan& plan);

// The answer to the first step's box: kNotAsked when the run is silent (no
// box was shown), kYes, or kOther for any other answer (No, OK, none).
enum class Answer { kNotAsked, kYes, kOther };

// Decides with the answer between a first installation, an upgrade, a
// reinstallation of the same version (not asked: nothing is done, 0; not
// Yes: 1602) and a newer version installed (told: nothing is installed, 0;
// not asked, in a silent run: the older package is installed over it).
// Adds to extraArguments, each in front: " ADDLOCAL=NPVEXIS" when the
// installed product lacks the feature, "REINSTALL=ALL REINSTALLMODE=vomus"
// (with " /qb" unless the text holds "/q") when reinstalling or upgrading a
// product with the same product code, and " /qb" when the text holds no "/q"
// (case-sensitive). Then RunInstaller with the installed product's code and
// the package's path, which alone writes logPath, and its result.
StepResult InstallPlannedPlugin(const PluginPlan& plan, Answer answer, WString extraArguments,
                                bool reinstall, WString& logPath,
                                const PublisherCheck& publisher = PublisherCheck());
