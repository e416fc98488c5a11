# The real exe: a GUI program, statically linked so that its import table
# names system DLLs only. The same sources and flags for both processors:
# i686 is the shipped vexissetup.exe, x86_64 the build for 64-bit Windows
# without WoW64.
enable_language(RC)

set(WINDOWS_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# The exe throws nothing and starts no thread: without exception tables, run
# time type information and thread-safe static guards, the C++ runtime's
# unwinder, terminate handler and thread library stay out of it
# (platform/win32/runtime_without_exceptions.cpp ends the process where the
# library would throw). The test programs keep exceptions: GoogleTest needs them.
set(SIZE_FLAGS -Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -fno-threadsafe-statics)
# Reproducible: no link time stamp, and no folder of this checkout or build in
# the file, so two builds of one commit in two folders are the same bytes.
set(REPRODUCIBLE_FLAGS -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
set(STATIC_LINK -static -municode -Wl,--gc-sections -s -Wl,--no-insert-timestamp)

# shell32 exports IsUserAnAdmin by ordinal only. The 32-bit name carries its
# stdcall suffix (@0); x86_64 has a single calling convention and none.
set(SHELL32_ORD_DEF ${CMAKE_SOURCE_DIR}/platform/win32/shell32_ord_${CMAKE_SYSTEM_PROCESSOR}.def)
set(SHELL32_ORD ${CMAKE_BINARY_DIR}/libshell32_ord.a)
add_custom_command(OUTPUT ${SHELL32_ORD}
  COMMAND ${CMAKE_DLLTOOL} -k -d ${SHELL32_ORD_DEF} -l ${SHELL32_ORD}
  DEPENDS ${SHELL32_ORD_DEF})
add_custom_target(shell32_ord DEPENDS ${SHELL32_ORD})

# The Win32 side of the seam, and the process entry (wWinMain) that starts the run.
file(GLOB PLATFORM_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)
file(GLOB SETUP_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/setup/win32/*.cpp)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  configure_manifest(amd64)
else()
  configure_manifest(x86)
endif()

add_executable(vexissetup WIN32
  ${SYSTEM_SOURCES} ${PLATFORM_WIN32_SOURCES} ${SETUP_WIN32_SOURCES}
  ${CMAKE_SOURCE_DIR}/resources/vexissetup.rc)
add_dependencies(vexissetup shell32_ord)
target_include_directories(vexissetup PRIVATE ${CMAKE_SOURCE_DIR} ${GENERATED_RESOURCES})
target_compile_definitions(vexissetup PRIVATE ${WINDOWS_DEFINES})
target_compile_options(vexissetup PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${STRICT_WARNINGS} ${SIZE_FLAGS} ${REPRODUCIBLE_FLAGS}>)
# The ordinal library comes before the default libraries, or IsUserAnAdmin
# would be imported by name from libshell32.a.
target_link_libraries(vexissetup PRIVATE ${SHELL32_ORD} ${STATIC_LINK} shell32 user32 advapi32 kernel32)
file(GLOB RESOURCE_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/vexissetup.rc PROPERTIES
  OBJECT_DEPENDS "${RESOURCE_INPUTS};${GENERATED_RESOURCES}/vexissetup.manifest")

# Windows test programs: the exit-code wrapper, the box helper, the provider
# stand-in and the Windows Installer tests run under Wine.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wintools/CMakeLists.txt)
  add_subdirectory(tests/wintools)
endif()
