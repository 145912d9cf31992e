# Run by cpack on the package's files before it packs them. The installed demo key is shared by every user
# of the machine, and `sealrun demo` copies it for the user who runs it: its files must be readable by all,
# or no one but root could run the demo. Its secrets are public anyway (the key and its PIN, 123456, come
# with the sources), so keeping them unreadable (as cmake --install does for a prefix of one's own) guards
# nothing here.
file(GLOB_RECURSE _demo_key_files "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/sealrun/demo-key/*")
if(NOT _demo_key_files)
  message(FATAL_ERROR "the demo key is not among the package's files in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(_file ${_demo_key_files})
  file(CHMOD ${_file} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
