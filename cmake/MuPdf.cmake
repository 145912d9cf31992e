# MuPDF 1.21 (Debian libmupdf-dev), linked statically. pkg-config --static lists the third-party
# libraries it needs but omits harfbuzz, which the static libmupdf-third needs as well.
if(NOT TARGET sealrun_mupdf)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MUPDF_STATIC REQUIRED mupdf)
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --static --libs mupdf
                  OUTPUT_VARIABLE _mupdf_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(_mupdf_libs UNIX_COMMAND "${_mupdf_libs}")
  add_library(sealrun_mupdf INTERFACE)
  target_include_directories(sealrun_mupdf SYSTEM INTERFACE ${MUPDF_STATIC_INCLUDE_DIRS})
  target_link_libraries(sealrun_mupdf INTERFACE ${_mupdf_libs} -lharfbuzz)
endif()
