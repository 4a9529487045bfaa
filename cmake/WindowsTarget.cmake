# What a Windows build made on Linux needs besides the compiler (see
# mingw-w64-x86_64.cmake): libpng built for the target from Debian's own
# source package, GoogleTest from the sources libgtest-dev ships, and Wine to
# run the test programs.

# Unpacks Debian's source package SOURCE (with Debian's patches) into the
# build folder, once: the release of the installed binary package BINARY, so
# that the Windows and Linux programs are built from the same code. Sets
# OUT_DIR to the unpacked tree.
function(gridmint_debian_source source binary out_dir)
  set(tree "${CMAKE_BINARY_DIR}/_deps/${source}-src")
  if(NOT EXISTS "${tree}/.unpacked")
    execute_process(COMMAND dpkg-query -W -f=\${source:Version} ${binary}
                    OUTPUT_VARIABLE version ERROR_QUIET)
    message(STATUS "Fetching Debian's ${source} ${version} source")
    set(download "${CMAKE_BINARY_DIR}/_deps/${source}-download")
    file(REMOVE_RECURSE "${download}" "${tree}")
    execute_process(
      COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source.sh" ${source} "${version}"
              "${download}"
      RESULT_VARIABLE fetched)
    file(GLOB unpacked LIST_DIRECTORIES true "${download}/${source}-*")
    file(GLOB dsc "${download}/*.dsc")
    if(NOT fetched EQUAL 0 OR NOT unpacked OR NOT dsc)
      message(FATAL_ERROR "Could not fetch Debian's ${source} source "
                          "(scripts/install-deps.sh --windows installs what this needs)")
    endif()
    get_filename_component(dsc "${dsc}" NAME)
    message(STATUS "${source} for the target: ${dsc}")
    file(RENAME "${unpacked}" "${tree}")
    file(WRITE "${tree}/.unpacked" "${dsc}\n")
    file(REMOVE_RECURSE "${download}")
  endif()
  set(${out_dir} "${tree}" PARENT_SCOPE)
endfunction()

# libpng from Debian's libpng1.6, built with the rest of the build.
gridmint_debian_source(libpng1.6 libpng16-16 GRIDMINT_LIBPNG_SOURCE_DIR)
set(PNG_SHARED OFF CACHE BOOL "" FORCE)
set(PNG_STATIC ON CACHE BOOL "" FORCE)
set(PNG_TESTS OFF CACHE BOOL "" FORCE)
set(PNG_EXECUTABLES OFF CACHE BOOL "" FORCE)
set(SKIP_INSTALL_ALL ON CACHE BOOL "" FORCE)
add_subdirectory("${GRIDMINT_LIBPNG_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/libpng-build"
                 EXCLUDE_FROM_ALL SYSTEM)
# libpng 1.6's own CMake file gives its targets no include directories.
add_library(gridmint_png INTERFACE)
target_include_directories(gridmint_png SYSTEM INTERFACE
  "${GRIDMINT_LIBPNG_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/libpng-build")
target_link_libraries(gridmint_png INTERFACE png_static ZLIB::ZLIB)
add_library(PNG::PNG ALIAS gridmint_png)

# libdeflate from Debian's libdeflate (the "smallest" PNG compression). Its
# 1.14 release has no CMake file of its own; the library is its lib/ sources.
gridmint_debian_source(libdeflate libdeflate0 GRIDMINT_LIBDEFLATE_SOURCE_DIR)
file(GLOB libdeflate_sources "${GRIDMINT_LIBDEFLATE_SOURCE_DIR}/lib/*.c"
     "${GRIDMINT_LIBDEFLATE_SOURCE_DIR}/lib/*/*.c")
add_library(gridmint_libdeflate STATIC EXCLUDE_FROM_ALL ${libdeflate_sources})
target_include_directories(gridmint_libdeflate SYSTEM PUBLIC "${GRIDMINT_LIBDEFLATE_SOURCE_DIR}")
add_library(PkgConfig::LIBDEFLATE ALIAS gridmint_libdeflate)

# GoogleTest for the target, from source (Debian ships only Linux builds).
if(GRIDMINT_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
endif()

# CLI11 and nlohmann/json are header-only, so Debian's Linux packages serve.
# Their own package files would put all of /usr/include on the target's
# include path; these stand-ins give just the two libraries' folders.
set(header_dir "${CMAKE_BINARY_DIR}/_deps/header-only")
file(MAKE_DIRECTORY "${header_dir}/include")
foreach(entry "CLI11;CLI11::CLI11;CLI" "nlohmann_json;nlohmann_json::nlohmann_json;nlohmann")
  list(GET entry 0 package)
  list(GET entry 1 target)
  list(GET entry 2 folder)
  if(NOT EXISTS "/usr/include/${folder}")
    message(FATAL_ERROR "/usr/include/${folder} is missing (scripts/install-deps.sh installs it)")
  endif()
  file(CREATE_LINK "/usr/include/${folder}" "${header_dir}/include/${folder}" SYMBOLIC)
  file(WRITE "${header_dir}/${package}/${package}Config.cmake"
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${header_dir}/include\")\n"
       "endif()\n")
  set(${package}_DIR "${header_dir}/${package}" CACHE PATH "" FORCE)
endforeach()

# Test programs run under Wine, in a prefix of their own inside the build
# folder, so no test reads or changes the user's Wine setup.
find_program(GRIDMINT_WINE NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/scripts/wine-run.sh;${CMAKE_BINARY_DIR}/wine;${GRIDMINT_WINE}")
# Making the prefix takes a while, so the build does it once; the test lists
# are read when CTest starts, not while the compilers compete for the cores.
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/wine/.gridmint-ready"
                   COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} cmd /c exit 0
                   COMMENT "Making the Wine prefix for the tests")
add_custom_target(gridmint_wine_prefix ALL DEPENDS "${CMAKE_BINARY_DIR}/wine/.gridmint-ready")
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
