# What an administrator installs beyond the programs (cmake/Install.cmake): manual pages, bash completion,
# the signing server's systemd unit and example configuration, the package's documents; and the Debian
# package of it all, made by `cpack` in the build folder (scripts/package builds and checks it).
include(cmake/ManPages.cmake)

install(FILES ${SEALRUN_ROOT}/packaging/completion/sealrun
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(SEALRUN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/sealrun)
# The unit and the example configuration belong to the signing server; installed when the sources have them.
set(_server_example ${SEALRUN_ROOT}/apps/tramex-server/tramex-server.conf.example)
if(EXISTS ${_server_example})
  install(FILES ${_server_example} DESTINATION ${SEALRUN_DOC_DIR}/examples)
endif()
set(SEALRUN_SERVER_UNIT ${SEALRUN_ROOT}/apps/tramex-server/tramex-server.service)
if(EXISTS ${SEALRUN_SERVER_UNIT})
  install(CODE "set(_unit_source \"${SEALRUN_SERVER_UNIT}\")
                set(_unit_copy \"${CMAKE_BINARY_DIR}/packaging/tramex-server.service\")
                set(_server_program \"${SEALRUN_INSTALL_DIR}/tramex-server\")")
  install(CODE [[
    # Units of a /usr installation stand in /lib/systemd/system, as Debian has them; other prefixes keep
    # theirs under the prefix. The unit starts the program where this installation put it.
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      set(_unit_dir "/lib/systemd/system")
    else()
      set(_unit_dir "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
    endif()
    file(READ "${_unit_source}" _unit)
    string(REGEX REPLACE "ExecStart=[^ \n]*/tramex-server" "ExecStart=${CMAKE_INSTALL_PREFIX}/${_server_program}"
           _unit "${_unit}")
    file(WRITE "${_unit_copy}" "${_unit}")
    file(INSTALL "${_unit_copy}" DESTINATION "${_unit_dir}"
         PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  ]])
endif()

# The copyright file names what the package holds: Sealrun's own files, and MuPDF, which the PDF engine
# library links statically, with the copyright and licences of Debian's MuPDF appended.
set(_copyright ${CMAKE_BINARY_DIR}/packaging/copyright)
file(READ ${SEALRUN_ROOT}/packaging/copyright _text)
set(_mupdf_copyright /usr/share/doc/libmupdf-dev/copyright)
if(EXISTS ${_mupdf_copyright})
  file(READ ${_mupdf_copyright} _mupdf_text)
  string(APPEND _text "\n-------------------------------------------------------------------------------\n\n" "${_mupdf_text}")
endif()
file(WRITE ${_copyright}.new "${_text}")
file(COPY_FILE ${_copyright}.new ${_copyright} ONLY_IF_DIFFERENT)
file(REMOVE ${_copyright}.new)
set(_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND ${Python3_EXECUTABLE} -c
          "import gzip,sys; open(sys.argv[2],'wb').write(gzip.compress(open(sys.argv[1],'rb').read(), 9, mtime=0))"
          ${SEALRUN_ROOT}/packaging/changelog ${_changelog}
  DEPENDS ${SEALRUN_ROOT}/packaging/changelog VERBATIM)
add_custom_target(sealrun_package_documents ALL DEPENDS ${_changelog})
install(FILES ${_copyright} ${_changelog} ${SEALRUN_ROOT}/README.md DESTINATION ${SEALRUN_DOC_DIR})

# The Debian package: sealrun_<version>_<arch>.deb, prefix /usr, dependencies from the programs' and modules'
# shared libraries (Qt's only when the reader is in it).
set(SEALRUN_PACKAGE_MAINTAINER "Sealrun maintainers <maintainers@sealrun.example.org>"
    CACHE STRING "The Debian package's Maintainer field")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sealrun)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SEALRUN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch electronic seals for PDF files")
# CPack puts the summary first and indents each line of this; an empty line separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Sealrun applies electronic seals to many PDF files in one run: a seal picture
placed where a template says or beside a search text, backed by a record of who
sealed and, if wanted, a PDF digital signature. It verifies the seals of many
files in one run and removes the user's latest seal from many files in one run.

This package holds the terminal front end sealrun, the desktop reader with the
add-in loaded (where built), the TRAMEX signing server with its systemd unit,
the add-in and its component modules, and a demo seal key.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SEALRUN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${SEALRUN_ROOT}/packaging/maintainer-scripts/postinst
    ${SEALRUN_ROOT}/packaging/maintainer-scripts/prerm ${SEALRUN_ROOT}/packaging/maintainer-scripts/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed with DESTDIR and prefix /usr, so that the unit goes to /lib/systemd/system as Debian wants.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${SEALRUN_ROOT}/packaging/demo-key-permissions.cmake)
include(CPack)
