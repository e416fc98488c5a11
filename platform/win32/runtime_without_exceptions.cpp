// The exe is built without exceptions: nothing of the system throws, and the
// C++ runtime's exception support (unwinding tables, the terminate handler
// that demangles type names, the library's exception classes) would be most
// of the file. What the standard library still reaches for when an
// allocation fails or a length is out of range is defined here instead: the
// process ends at once with a code, never with a box that an unattended run
// would wait on. Running out of memory, or asking for a length beyond what
// can be allocated, ends it with ERROR_NOT_ENOUGH_MEMORY (8); an index out of
// range or another logic error, which no input can cause, with
// ERROR_INTERNAL_ERROR (1359). The run log's last line is written first,
// without allocating. The native build keeps the library's own.
#include "platform/win32/windows_includes.h"

#include <cstdlib>
#include <new>
#include <string>

#include "platform/result_codes.h"
#include "platform/win32/win32_shared.h"

namespace {

[[noreturn]] void EndProcess(UINT code) {
  // Taken first: a handler that failed in its turn must not come back here.
  const platform::FatalExitHandler handler = TakeFatalExitHandler();
  if (handler != nullptr) handler(code);
  ::ExitProcess(code);
  __builtin_unreachable();
}

[[noreturn]] void OutOfMemory() { EndProcess(winerror::kNotEnoughMemory); }

void* Allocate(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) OutOfMemory();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace std {

void __throw_bad_alloc() { OutOfMemory(); }
void __throw_bad_array_new_length() { OutOfMemory(); }
void __throw_length_error(const char*) { OutOfMemory(); }
void __throw_logic_error(const char*) { EndProcess(winerror::kInternalError); }
void __throw_out_of_range(const char*) { EndProcess(winerror::kInternalError); }
void __throw_out_of_range_fmt(const char*, ...) { EndProcess(winerror::kInternalError); }
void __throw_invalid_argument(const char*) { EndProcess(winerror::kInternalError); }

}  // namespace std

// The library's own copies of these string classes are compiled with
// exceptions; instantiated here, the exe keeps only the members it uses.
template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
