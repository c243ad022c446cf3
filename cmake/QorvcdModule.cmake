# qorvcd_module(NAME SOURCES a.cpp b.cpp DEPENDS qorvcd_platform ...)
# One static library per folder. A folder without sources yet becomes an
# interface target so the tree always configures.
function(qorvcd_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPENDS;PUBLIC_LIBS" ${ARGN})
  if(M_SOURCES)
    add_library(${name} STATIC ${M_SOURCES})
    target_link_libraries(${name} PUBLIC ${M_DEPENDS} ${M_PUBLIC_LIBS})
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${M_DEPENDS} ${M_PUBLIC_LIBS})
  endif()
endfunction()

# qorvcd_test(NAME SOURCES t.cpp ... DEPENDS qorvcd_x ...)
# One test executable per subsystem, registered with CTest through GoogleTest.
function(qorvcd_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPENDS} qorvcd_test_support GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()
