# The warnings every library and program of the project is built with; with
# VELMORA_WERROR (scripts/test.sh turns it on) each one stops the build.
set(velmora_warning_options
  -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wsuggest-override -Wformat=2
  -Wmissing-declarations $<$<BOOL:${VELMORA_WERROR}>:-Werror>)
add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE ${velmora_warning_options})
# Every text from bytes says its encoding.
target_compile_definitions(velmora_warnings INTERFACE QT_NO_CAST_FROM_ASCII)

# The same warnings for tests, benchmarks and fuzz drivers. Their string
# literals may become texts (a literal is the source's UTF-8); bytes from a
# process, a file or a socket still say their encoding.
add_library(velmora_test_warnings INTERFACE)
target_compile_options(velmora_test_warnings INTERFACE ${velmora_warning_options})
target_compile_definitions(velmora_test_warnings INTERFACE QT_RESTRICTED_CAST_FROM_ASCII)


# velmora_library(<name> SOURCES ... [LIBS ...] [USES ...])
# Makes the static library velmora_<name> from the src/ folder it is declared in.
# LIBS: what its headers include, so what its users see too; USES: what only
# its .cpp files include.
#
# Include folders: a library shows its users its own headers and nothing else.
# Each has an include root of its own in the build tree, include/velmora_<name>/,
# holding one link per header of its folder under the path the include lines use
# (src/service/alerts/HistoryLog.h is linked as service/alerts/HistoryLog.h), so
# the lines read as they always have. A target compiles with its own root and
# the roots of what it links (LIBS and USES, and its LIBS' LIBS): a header of a
# library it does not link is not found, and the build stops there. Links per
# header rather than per folder, since src/service/ holds the program beside the
# folders of its rooms; a header added or removed is seen at the next build.
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;USES" ${ARGN})
  add_library(velmora_${name} STATIC ${ARG_SOURCES})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include/velmora_${name})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header IN LISTS headers)
    cmake_path(GET header FILENAME header_name)
    file(CREATE_LINK ${header} ${root}/${folder}/${header_name} SYMBOLIC)
  endforeach()
  # The forms' generated headers (ui_*.h) are the library's own too.
  target_include_directories(velmora_${name} PUBLIC ${root}
    ${CMAKE_CURRENT_BINARY_DIR}/velmora_${name}_autogen/include)
  target_link_libraries(velmora_${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_USES} velmora_warnings)
endfunction()

# VELMORA_TEST_TIME_FACTOR (see tests/support/TestTime.h) as CMake reads it when
# it configures, rounded up to a whole number: ctest's limit on each test grows
# with the tests' own limits (scripts/test.sh configures in the same environment).
set(velmora_test_time_factor 1)
if("$ENV{VELMORA_TEST_TIME_FACTOR}" MATCHES "^([0-9]+)(\\.([0-9]*))?$")
  set(velmora_test_time_factor ${CMAKE_MATCH_1})
  if(CMAKE_MATCH_3 MATCHES "[1-9]")
    math(EXPR velmora_test_time_factor "${velmora_test_time_factor} + 1")
  endif()
  if(velmora_test_time_factor LESS 1)
    set(velmora_test_time_factor 1)
  endif()
endif()

# velmora_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [SERVICE_PORT] [TIMEOUT seconds])
# SERVICE_PORT: the test listens on the service's own port, 127.0.0.1:9522, so
# such tests run one at a time (beside the others, which take free ports).
# A QtTest program run by ctest without a display.
function(velmora_test name)
  cmake_parse_arguments(ARG "SERVICE_PORT" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE Qt6::Test velmora_test_support ${ARG_LIBS})
  # Tests include the forms' generated headers from the libraries; they have no forms.
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/bin
    AUTOUIC OFF)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * ${velmora_test_time_factor}")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELMORA_BINARY_DIR=${PROJECT_BINARY_DIR};DBUS_SESSION_BUS_ADDRESS=disabled:")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if(ARG_SERVICE_PORT)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK velmora_service_port)
  endif()
endfunction()
