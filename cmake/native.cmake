# The native build: the same portable sources linked to the simulated Windows
# and to GoogleTest. VEXIS_SANITIZE=ON builds the same tests with
# AddressSanitizer and UndefinedBehaviorSanitizer.
option(VEXIS_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
set(WINDOWS_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/windows" CACHE PATH
    "Folder of the 32-bit Windows build (vexissetup.exe and the test tools)")
set(WINDOWS_X64_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/windows-x64" CACHE PATH
    "Folder of the x64 Windows build (the same programs for 64-bit Windows)")

enable_testing()
find_package(GTest REQUIRED)

if(VEXIS_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The compiled string table and dialog: the unit tests read the .res that
# windres makes from the very resource script the exe is built with.
find_program(WINDRES i686-w64-mingw32-windres REQUIRED)
set(VEXIS_RES ${CMAKE_BINARY_DIR}/vexissetup.res)
configure_manifest(x86)
file(GLOB RESOURCE_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
add_custom_command(OUTPUT ${VEXIS_RES}
  COMMAND ${WINDRES} -O coff --input-format=rc --output-format=res
          -I ${CMAKE_SOURCE_DIR}/resources -I ${GENERATED_RESOURCES}
          ${CMAKE_SOURCE_DIR}/resources/vexissetup.rc ${VEXIS_RES}
  DEPENDS ${RESOURCE_INPUTS} ${GENERATED_RESOURCES}/vexissetup.manifest
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/resources)
add_custom_target(vexissetup_res ALL DEPENDS ${VEXIS_RES})

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/sim/*.cpp)
add_library(vexis_sim STATIC ${SYSTEM_SOURCES} ${SIM_SOURCES})
target_include_directories(vexis_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vexis_sim PUBLIC ${STRICT_WARNINGS})
target_compile_definitions(vexis_sim PUBLIC VEXIS_RES_PATH="${VEXIS_RES}")
add_dependencies(vexis_sim vexissetup_res)

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE vexis_sim GTest::gtest GTest::gtest_main GTest::gmock)
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit TIMEOUT 120)

if(NOT VEXIS_SANITIZE AND EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(tests/e2e)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt)
  add_subdirectory(tests/fuzz)
endif()

# The exes of both Windows builds read from the files themselves (import
# table, manifest, size limit), and built a second time elsewhere to show they
# are reproducible.
if(NOT VEXIS_SANITIZE)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME pe_imports COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pe/test_imports.py -v)
  set_tests_properties(pe_imports PROPERTIES
    LABELS unit
    SKIP_RETURN_CODE 77
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;E2E_WINDOWS_BUILD_DIR=${WINDOWS_BUILD_DIR};E2E_WINDOWS_X64_BUILD_DIR=${WINDOWS_X64_BUILD_DIR}")
  add_test(NAME pe_reproducible COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pe/test_reproducible.py -v)
  set_tests_properties(pe_reproducible PROPERTIES
    LABELS release
    TIMEOUT 900
    SKIP_RETURN_CODE 77
    ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;E2E_WINDOWS_BUILD_DIR=${WINDOWS_BUILD_DIR};E2E_WINDOWS_X64_BUILD_DIR=${WINDOWS_X64_BUILD_DIR}")
endif()
