# MuPDF (Debian libmupdf-dev), linked statically. pkg-config --static lists the third-party libraries it
# needs but omits harfbuzz, which the static libmupdf-third needs as well.
#
# The engine is written for one MuPDF release (platform/pdfengine/MuPdfVersion.h says why): any other fails
# here, loudly, rather than changing how signatures are written. Debian's mupdf.pc states an older version
# than the headers it ships, so the release is read from the headers.
set(SEALRUN_MUPDF_RELEASE "1.21.1")
if(NOT TARGET sealrun_mupdf)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MUPDF_STATIC REQUIRED mupdf)
  find_file(_mupdf_version_header mupdf/fitz/version.h HINTS ${MUPDF_STATIC_INCLUDE_DIRS} NO_CACHE REQUIRED)
  file(STRINGS ${_mupdf_version_header} _mupdf_version_line REGEX "^#define FZ_VERSION \"[^\"]*\"")
  string(REGEX REPLACE ".*\"([^\"]*)\".*" "\\1" _mupdf_found "${_mupdf_version_line}")
  if(NOT _mupdf_found STREQUAL SEALRUN_MUPDF_RELEASE)
    message(FATAL_ERROR "MuPDF ${_mupdf_found} found in ${_mupdf_version_header}; the engine is written for "
                        "MuPDF ${SEALRUN_MUPDF_RELEASE} (see platform/pdfengine/MuPdfVersion.h)")
  endif()
  message(STATUS "MuPDF ${_mupdf_found}")
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --static --libs mupdf
                  OUTPUT_VARIABLE _mupdf_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(_mupdf_libs UNIX_COMMAND "${_mupdf_libs}")
  add_library(sealrun_mupdf INTERFACE)
  target_include_directories(sealrun_mupdf SYSTEM INTERFACE ${MUPDF_STATIC_INCLUDE_DIRS})
  target_link_libraries(sealrun_mupdf INTERFACE ${_mupdf_libs} -lharfbuzz)
endif()
