# Include views: every library writes its includes from the repository root ("platform/text/Utf.h"), but sees
# only the folders the layering rules let it use. Its include folder is a view in the build tree that holds a
# link to each of those folders and nothing else, so including a higher layer, or the engine from the add-in,
# fails to compile. The rules themselves live in scripts/check-layering, which CI also runs over the sources.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# sealrun_include_view(TARGET FOLDER SCOPE): TARGET (a library of FOLDER) gets FOLDER's view as its include
# folder, with SCOPE PUBLIC or INTERFACE so that its users see what its headers need.
function(sealrun_include_view target folder scope)
  # Tests, benchmarks and fuzz targets look at every layer on purpose.
  if(folder MATCHES "^(tests|bench|fuzz)(/|$)")
    target_include_directories(${target} ${scope} ${SEALRUN_ROOT})
    return()
  endif()
  execute_process(COMMAND ${Python3_EXECUTABLE} ${SEALRUN_ROOT}/scripts/check-layering --view ${folder}
                  OUTPUT_VARIABLE _visible RESULT_VARIABLE _result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "scripts/check-layering does not know the folder ${folder}")
  endif()
  string(REPLACE "\n" ";" _visible "${_visible}")
  string(MAKE_C_IDENTIFIER "${folder}" _name)
  set(_view ${CMAKE_BINARY_DIR}/include-views/${_name})
  file(REMOVE_RECURSE ${_view})
  foreach(_folder IN LISTS _visible)
    # A folder inside another visible folder (platform/ui/qt in platform/ui) comes with that folder's link.
    set(_inside FALSE)
    foreach(_other IN LISTS _visible)
      string(FIND "${_folder}" "${_other}/" _at)
      if(_at EQUAL 0)
        set(_inside TRUE)
      endif()
    endforeach()
    if(_inside)
      continue()
    endif()
    get_filename_component(_parent ${_view}/${_folder} DIRECTORY)
    file(MAKE_DIRECTORY ${_parent})
    file(CREATE_LINK ${SEALRUN_ROOT}/${_folder} ${_view}/${_folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${_view})
endfunction()

# The folder of the current CMakeLists.txt, as the layering rules name it.
function(sealrun_current_folder out)
  file(RELATIVE_PATH _folder ${SEALRUN_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
  set(${out} ${_folder} PARENT_SCOPE)
endfunction()
