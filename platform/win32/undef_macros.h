// No include guard: may be applied again after a later windows header.
#undef MessageBox
#undef GetEnvironmentVariable
#undef GetCurrentDirectory
#undef GetSystemDirectory
#undef FindFirstFile
#undef FindNextFile
#undef DeleteFile
#undef GetModuleHandle
#undef LoadLibrary
#undef CreateProcess
#undef LookupPrivilegeValue
#undef GetVersionEx
#undef DialogBox
#undef LoadIcon
#undef SetDlgItemText
#undef GetDlgItemText
