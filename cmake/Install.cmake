# Installation: the program, the add-in module, the component modules and the platform libraries they share
# stand together in <prefix>/lib/sealrun (the add-in finds its certificate files beside itself, and the front
# end finds the modules beside itself); <prefix>/bin/sealrun links to the program; the demo seal key goes to
# <prefix>/share/sealrun/demo-key; the desktop reader, where it is built, stands beside the program and is linked
# from <prefix>/bin too.
# They are the package's private programs and modules, not libraries for others, so their folder is lib/sealrun
# under every prefix rather than the multiarch library folder (Debian policy 9.1.1).
include(GNUInstallDirs)
set(SEALRUN_INSTALL_DIR lib/sealrun)

set(_programs)
foreach(_target sealrun sealrun-reader tramex-server sealrun_tramex_server)
  if(TARGET ${_target})
    list(APPEND _programs ${_target})
  endif()
endforeach()
set(_modules)
foreach(_target sealrun_addin_module sealrun_sealkey sealrun_certlib sealrun_handwriting)
  if(TARGET ${_target})
    list(APPEND _modules ${_target})
  endif()
endforeach()
set(_libraries)
foreach(_layer text fs com xmldom crypto pdfengine net imaging ui ui_qt host)
  if(TARGET sealrun_platform_${_layer})
    list(APPEND _libraries sealrun_platform_${_layer})
  endif()
endforeach()

install(TARGETS ${_programs} RUNTIME DESTINATION ${SEALRUN_INSTALL_DIR})
install(TARGETS ${_modules} LIBRARY DESTINATION ${SEALRUN_INSTALL_DIR})
install(TARGETS ${_libraries} LIBRARY DESTINATION ${SEALRUN_INSTALL_DIR})
install(FILES data/demo-key/ZQ_Root.cer data/demo-key/ZQ_Crl.crl DESTINATION ${SEALRUN_INSTALL_DIR})
# The key's secrets (the PIN verifier in key.xml, the private key in signer.p12) are readable by their owner
# alone: a soft key is only as strong as its PIN and its file permissions. A try counter or a remembered-PIN
# key left in the source folder by a run against it is not part of the key.
install(DIRECTORY data/demo-key/ DESTINATION ${CMAKE_INSTALL_DATADIR}/sealrun/demo-key
        PATTERN tools EXCLUDE PATTERN make-demo-key.sh EXCLUDE
        PATTERN pin-tries EXCLUDE PATTERN .pin-tries.* EXCLUDE PATTERN remembered-pin.key EXCLUDE
        PATTERN key.xml PERMISSIONS OWNER_READ OWNER_WRITE
        PATTERN signer.p12 PERMISSIONS OWNER_READ OWNER_WRITE)
install(CODE "
  set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${_bin}\")
  file(CREATE_LINK \"../${SEALRUN_INSTALL_DIR}/sealrun\" \"\${_bin}/sealrun\" SYMBOLIC)
  if(EXISTS \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SEALRUN_INSTALL_DIR}/sealrun-reader\")
    file(CREATE_LINK \"../${SEALRUN_INSTALL_DIR}/sealrun-reader\" \"\${_bin}/sealrun-reader\" SYMBOLIC)
  endif()
")
