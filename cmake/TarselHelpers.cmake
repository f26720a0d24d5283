# tarsel_add_test(<ctest name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [GUI])
# One Qt Test executable per test name; GUI tests run on the offscreen platform.
function(tarsel_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  string(REPLACE "." "_" exe "test_${name}")
  add_executable(${exe} ${T_SOURCES})
  target_link_libraries(${exe} PRIVATE Qt6::Test ${T_LIBS})
  target_compile_definitions(${exe} PRIVATE TARSEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                            TARSEL_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${exe})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(labels ${T_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT})
  if(T_GUI)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  endif()
endfunction()

# tarsel_library(<target> SOURCES ... [PUBLIC_LIBS ...])
function(tarsel_library target)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC_LIBS" ${ARGN})
  add_library(${target} STATIC ${L_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${L_PUBLIC_LIBS})
endfunction()

# The engine libraries also refuse silent narrowing, sign changes and C casts: their
# byte counts and lengths are where such a slip loses data. Errors whenever
# TARSEL_WERROR is on (CI).
function(tarsel_strict_conversions target)
  if(TARSEL_WERROR)
    target_compile_options(${target} PRIVATE -Wconversion -Wsign-conversion -Wold-style-cast)
  endif()
endfunction()
