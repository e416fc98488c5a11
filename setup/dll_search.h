// Where the process finds the DLLs that it and the system's own DLLs load by
// name: in the system directory, never in the exe's folder (a Downloads
// folder, where anyone may have put a DLL that would then run elevated).
#pragma once

// Called first thing in the process, before any window or box and before
// anything loads a DLL by name. Where Windows has SetDefaultDllDirectories,
// a DLL loaded by bare name is looked for in the system directory only.
// Where it lacks it (XP, Server 2003, and Vista and 7 without KB2533623),
// the exe's folder stays first for every such load: there the current
// directory is taken out of the search (SetDllDirectoryW with an empty
// text) and every system DLL of the list in dll_search.cpp is loaded at once
// from the system directory by its full path, so that a later load by name
// finds it loaded and searches nowhere. A DLL that this Windows lacks is
// passed over. Nothing is shown or returned: the run goes on either way.
void RestrictDllSearch();
