# Keeps the listed files that exist. A listed file that does not exist yet is
# left out with a warning, so that one folder being written never stops the
# rest of the tree from building.
function(qorvcd_present_sources out owner)
  set(present)
  foreach(src ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${src})
      list(APPEND present ${src})
    else()
      message(WARNING "${owner}: source ${src} is missing")
    endif()
  endforeach()
  set(${out} ${present} PARENT_SCOPE)
endfunction()

# qorvcd_module(NAME SOURCES a.cpp b.cpp DEPENDS qorvcd_platform ...)
# One static library per folder. A folder without sources yet becomes an
# interface target so the tree always configures.
function(qorvcd_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPENDS;PUBLIC_LIBS" ${ARGN})
  qorvcd_present_sources(sources ${name} ${M_SOURCES})
  if(sources)
    add_library(${name} STATIC ${sources})
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
  qorvcd_present_sources(sources ${name} ${T_SOURCES})
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${T_DEPENDS} qorvcd_test_support GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()
