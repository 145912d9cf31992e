# Warnings on everywhere; errors when SEALRUN_WERROR is set (CI sets it).
add_library(sealrun_warnings INTERFACE)
target_compile_options(sealrun_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
  -Wformat=2 -Wimplicit-fallthrough
  $<$<BOOL:${SEALRUN_WERROR}>:-Werror>)
# Every program and library is linked with its relocations read-only after start (full RELRO): a memory fault
# cannot redirect a call through a writable table.
target_link_options(sealrun_warnings INTERFACE -Wl,-z,relro -Wl,-z,now)

# sealrun_library(NAME DEPS ... PRIVATE_DEPS ...): one library per folder, sources found in that folder only.
# The platform layers are shared libraries, as the system's own libraries are: they hold process-wide state
# (the window system and its backend, the component runtime, the key store, the ANSI code page) that the
# front end, the add-in module and the component modules loaded into one process must share. The add-in's
# folders are static libraries linked into the module.
function(sealrun_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  sealrun_current_folder(_folder)
  if(NOT _sources)
    # A folder of headers only.
    add_library(${name} INTERFACE)
    sealrun_include_view(${name} ${_folder} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  if(name MATCHES "^sealrun_platform_")
    add_library(${name} SHARED ${_sources})
  else()
    add_library(${name} STATIC ${_sources})
  endif()
  sealrun_include_view(${name} ${_folder} PUBLIC)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE sealrun_warnings ${ARG_PRIVATE_DEPS})
endfunction()

# sealrun_test(NAME DEPS ...): one GoogleTest program from the *.cpp files of the current folder.
function(sealrun_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} sealrun_testsupport GTest::gtest GTest::gmock GTest::gtest_main sealrun_warnings)
  # One variable per property: the discovered tests' properties are written one list element per value, so a
  # second variable in one ENVIRONMENT list would be read as a property name and silently dropped.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "SEALRUN_CORPUS=${SEALRUN_CORPUS_DIR}"
               ENVIRONMENT_MODIFICATION "LSAN_OPTIONS=set:suppressions=${SEALRUN_ROOT}/cmake/lsan.supp")
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt (folders whose parts come and go).
function(sealrun_add_subfolders)
  file(GLOB _children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_child ${_children})
    if(IS_DIRECTORY ${_child} AND EXISTS ${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endfunction()
