# The version the programs carry in their version records: the project's, or
# SWEEPWELL_VERSION when given (scripts/package.sh builds each package's
# programs with the package's version). Three or four numbers; Windows shows a
# missing fourth as 0.
set(SWEEPWELL_VERSION "" CACHE STRING "Version the programs carry (empty: the project's)")
if(SWEEPWELL_VERSION STREQUAL "")
  set(SWEEPWELL_PROGRAM_VERSION ${PROJECT_VERSION})
else()
  set(SWEEPWELL_PROGRAM_VERSION ${SWEEPWELL_VERSION})
endif()
if(NOT SWEEPWELL_PROGRAM_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(\\.([0-9]+))?$")
  message(FATAL_ERROR "'${SWEEPWELL_PROGRAM_VERSION}' is not a version of three or four numbers")
endif()
set(fields ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_5})
if(CMAKE_MATCH_5 STREQUAL "")
  set(fields ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} 0)
endif()
foreach(field IN LISTS fields)
  if(field GREATER 65535)
    message(FATAL_ERROR "'${SWEEPWELL_PROGRAM_VERSION}': a version record holds numbers up to 65535")
  endif()
endforeach()
list(JOIN fields "," SWEEPWELL_VERSION_FIELDS)
# Rewritten only when the version changes, so that only the version records
# are built again.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/version/sweepwell_version.h @ONLY CONTENT
"// Made by cmake/version.cmake: the version of this build's programs.
#define SWEEPWELL_VERSION_FIELDS @SWEEPWELL_VERSION_FIELDS@
#define SWEEPWELL_VERSION_TEXT \"@SWEEPWELL_PROGRAM_VERSION@\"
")

# sweepwell_version_record(TARGET RC): TARGET's resources come from RC, which
# includes that header. windres reports no dependencies: RC is built again
# when the header changes.
function(sweepwell_version_record target rc)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR}/version)
  set_source_files_properties(${rc} PROPERTIES
                              OBJECT_DEPENDS ${PROJECT_BINARY_DIR}/version/sweepwell_version.h)
endfunction()
