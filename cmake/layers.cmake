# Layers of src/: one static library per folder, and a check, run on every
# build, that each folder includes only from itself and the folders listed
# as below it. A new upward include fails the build with the file and line.

# Folders each folder may include from (besides itself).
set(EB_LAYER_BELOW_protocol "")
set(EB_LAYER_BELOW_link "")
set(EB_LAYER_BELOW_sim "link")
set(EB_LAYER_BELOW_sheet "")
set(EB_LAYER_BELOW_trend "")
set(EB_LAYER_BELOW_record "sheet;trend")
set(EB_LAYER_BELOW_net "record;protocol;sheet;trend")
set(EB_LAYER_BELOW_window "protocol;link;sheet;trend;record")
set(EB_LAYER_BELOW_wiring "window;protocol;link;sim;sheet;trend;record;net")
set(EB_LAYER_BELOW_app "wiring;window;protocol;link;sim;sheet;trend;record;net")
set(EB_LAYERS protocol link sim sheet trend record net window wiring app)

# eb_layer(NAME [LINKS target…]): the library eb_NAME from src/NAME/*.cpp.
function(eb_layer name)
  cmake_parse_arguments(L "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp
       ${PROJECT_SOURCE_DIR}/src/${name}/*.h)
  add_library(eb_${name} STATIC ${sources})
  target_include_directories(eb_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(eb_${name} PUBLIC ${L_LINKS})
  add_dependencies(eb_${name} eb_layer_check)
endfunction()

file(GLOB_RECURSE EB_LAYER_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.h
     ${PROJECT_SOURCE_DIR}/src/*.cpp)
set(EB_LAYER_STAMP ${CMAKE_BINARY_DIR}/layer_check.stamp)
set(EB_LAYER_ARGS)
foreach(layer ${EB_LAYERS})
  string(REPLACE ";" "," below "${EB_LAYER_BELOW_${layer}}")
  list(APPEND EB_LAYER_ARGS "-DBELOW_${layer}=${below}")
endforeach()
string(REPLACE ";" "," EB_LAYER_LIST "${EB_LAYERS}")
add_custom_command(
  OUTPUT ${EB_LAYER_STAMP}
  COMMAND ${CMAKE_COMMAND} -DSRC=${PROJECT_SOURCE_DIR}/src "-DLAYERS=${EB_LAYER_LIST}"
          ${EB_LAYER_ARGS} -DSTAMP=${EB_LAYER_STAMP} -P ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake
  DEPENDS ${EB_LAYER_FILES} ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake
          ${PROJECT_SOURCE_DIR}/cmake/layers.cmake
  COMMENT "Checking that src/ folders include only from lower layers"
  VERBATIM)
add_custom_target(eb_layer_check DEPENDS ${EB_LAYER_STAMP})
