# Delay-loading of shell32 and ole32. The program runs elevated from a download folder or the
# temporary directory; libraries imported the ordinary way are loaded before WinMain, and with
# them everything they load by name, at a moment when the loader still searches the program's
# own folder. Delay-loaded, they are loaded at their first call, after WinMain has limited the
# search to the system folder.
#
# GNU ld has no /DELAYLOAD, so dlltool makes a delay-import library from a .def file, and the
# .def lists every function of the MinGW import library: whatever function of these two a
# later change calls is delay-loaded as well, with nothing to keep up to date. The link
# then checks that neither DLL is left in the ordinary import table (tessivane_delay_load_check).

# tessivane_delay_import_library(<dll base name> <output variable>): makes
# <build>/delay-load/lib<name>_delay.a and sets the variable to its path.
function(tessivane_delay_import_library name out_var)
  find_library(TESSIVANE_IMPORT_LIBRARY_${name} NAMES lib${name}.a REQUIRED)
  set(directory ${CMAKE_BINARY_DIR}/delay-load)
  file(MAKE_DIRECTORY ${directory})
  execute_process(COMMAND ${CMAKE_NM} ${TESSIVANE_IMPORT_LIBRARY_${name}}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
  if(NOT nm_result EQUAL 0)
    message(FATAL_ERROR "${CMAKE_NM} could not read ${TESSIVANE_IMPORT_LIBRARY_${name}}")
  endif()
  # The import library's thunks are its text symbols. The 32-bit names carry the C prefix
  # "_" and their stdcall "@bytes"; dlltool -k drops the "@bytes" from the name imported.
  string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\r\n]+" thunks "${symbols}")
  set(exports "")
  foreach(thunk IN LISTS thunks)
    string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" function "${thunk}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" function "${function}")
    endif()
    string(APPEND exports "${function}\n")
  endforeach()
  list(LENGTH thunks count)
  if(count LESS 100)
    message(FATAL_ERROR "only ${count} functions found in ${TESSIVANE_IMPORT_LIBRARY_${name}}: "
      "the delay-import library for ${name}.dll would miss functions the program calls")
  endif()
  set(definition "LIBRARY ${name}.dll\nEXPORTS\n${exports}")
  set(library ${directory}/lib${name}_delay.a)
  set(${out_var} ${library} PARENT_SCOPE)
  # Made anew only when the list changed, so that configuring again relinks nothing.
  if(EXISTS ${library} AND EXISTS ${directory}/${name}.def)
    file(READ ${directory}/${name}.def written)
    if(written STREQUAL definition)
      return()
    endif()
  endif()
  file(WRITE ${directory}/${name}.def "${definition}")
  set(kill_at "")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at -k)
  endif()
  # Run in the output folder with a bare name: dlltool names the library's symbols after
  # the path it is given, and the tests' import swap finds the delay-import descriptor by
  # that name (__DELAY_IMPORT_DESCRIPTOR_lib<name>_delay_a).
  execute_process(COMMAND ${CMAKE_DLLTOOL} ${kill_at} -d ${name}.def -D ${name}.dll -y lib${name}_delay.a
    WORKING_DIRECTORY ${directory} RESULT_VARIABLE dlltool_result)
  if(NOT dlltool_result EQUAL 0)
    file(REMOVE ${directory}/${name}.def)
    message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make the delay-import library for ${name}.dll")
  endif()
endfunction()

tessivane_delay_import_library(shell32 TESSIVANE_SHELL32_DELAY)
tessivane_delay_import_library(ole32 TESSIVANE_OLE32_DELAY)
# delayimp holds the resolver that the delay-load thunks call; it loads with LoadLibraryA,
# which follows the search rule the process has set.
set(TESSIVANE_DELAY_LOADED_LIBRARIES ${TESSIVANE_SHELL32_DELAY} ${TESSIVANE_OLE32_DELAY} delayimp)

# tessivane_delay_load_check(<target>): the link fails when shell32 or ole32 is found in the
# target's ordinary import table.
function(tessivane_delay_load_check target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXECUTABLE=$<TARGET_FILE:${target}>
            -P ${CMAKE_SOURCE_DIR}/cmake/check_delay_loaded.cmake
    VERBATIM)
endfunction()
