# Settings of the cross build for Windows, run under Wine.

# One binary each, no DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static")

# Programs and tests run through wine64 in a private prefix under the build folder, made on
# first use. CTest prefixes every test command that is one of our programs with it.
set(WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_BINARY_DIR}/wine-run)

# Header-only libraries come from a folder that holds just their headers, so the host's
# /usr/include never mixes with the Windows headers.
file(COPY /usr/include/nlohmann /usr/include/xxhash.h DESTINATION ${CMAKE_BINARY_DIR}/host-headers)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/host-headers)
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
add_library(xxhash INTERFACE)
target_include_directories(xxhash SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/host-headers)

if(BUILD_TESTING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)  # GoogleTest names its targets so itself under newer CMake policies
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
