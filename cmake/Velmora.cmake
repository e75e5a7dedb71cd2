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

# velmora_library(<folder> SOURCES ... [LIBS ...])
# Makes the static library velmora_<folder> from one folder of src/.
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(velmora_${name} STATIC ${ARG_SOURCES})
  target_include_directories(velmora_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src
    ${CMAKE_CURRENT_BINARY_DIR}/velmora_${name}_autogen/include)
  target_link_libraries(velmora_${name} PUBLIC ${ARG_LIBS})
  target_link_libraries(velmora_${name} PRIVATE velmora_warnings)
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
