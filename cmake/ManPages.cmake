# Manual pages (section 1) made at build time from each program's --help by packaging/help-to-man: sealrun
# and a page for each of its commands, sealrun-reader where it is built, tramex-server. They are written
# gzipped into <build>/man and installed to share/man/man1.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(SEALRUN_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(_help_to_man ${Python3_EXECUTABLE} ${SEALRUN_ROOT}/packaging/help-to-man --out ${SEALRUN_MAN_DIR}
    --version ${PROJECT_VERSION})
# The help names the demo key where the build found it; the installed one is under the prefix.
set(_installed_paths --replace "${SEALRUN_ROOT}/data/demo-key=<prefix>/share/sealrun/demo-key")

set(_pages)
set(_programs)
if(TARGET sealrun-reader)
  add_custom_command(OUTPUT ${SEALRUN_MAN_DIR}/sealrun-reader.1.gz
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${_help_to_man} --name sealrun-reader
            --summary "desktop PDF reader with the Sealrun add-in loaded" --see-also sealrun
            -- $<TARGET_FILE:sealrun-reader>
    DEPENDS sealrun-reader ${SEALRUN_ROOT}/packaging/help-to-man VERBATIM)
  list(APPEND _pages ${SEALRUN_MAN_DIR}/sealrun-reader.1.gz)
  list(APPEND _programs --see-also sealrun-reader)
endif()
if(TARGET tramex-server)
  add_custom_command(OUTPUT ${SEALRUN_MAN_DIR}/tramex-server.1.gz
    COMMAND ${_help_to_man} --name tramex-server --summary "signing server for the TRAMEX protocol"
            --see-also sealrun ${_installed_paths} -- $<TARGET_FILE:tramex-server>
    DEPENDS tramex-server ${SEALRUN_ROOT}/packaging/help-to-man VERBATIM)
  list(APPEND _pages ${SEALRUN_MAN_DIR}/tramex-server.1.gz)
  list(APPEND _programs --see-also tramex-server)
endif()
# The commands' pages (sealrun-sign.1.gz, ...) are written with sealrun.1.gz; their list is the one
# sealrun --help prints.
add_custom_command(OUTPUT ${SEALRUN_MAN_DIR}/sealrun.1.gz
  COMMAND ${_help_to_man} --name sealrun --summary "seal, verify and unseal many PDF files in one run"
          --subcommands ${_programs} ${_installed_paths} -- $<TARGET_FILE:sealrun>
  DEPENDS sealrun ${SEALRUN_ROOT}/packaging/help-to-man VERBATIM)
list(APPEND _pages ${SEALRUN_MAN_DIR}/sealrun.1.gz)
add_custom_target(sealrun_man_pages ALL DEPENDS ${_pages})

install(DIRECTORY ${SEALRUN_MAN_DIR}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 FILES_MATCHING PATTERN "*.1.gz")
