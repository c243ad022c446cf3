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

# The folders a target may include: its own and those of every module it
# depends on, directly or not (each module records its list when defined, so
# modules are defined lowest first).
function(qorvcd_visible_folders out)
  set(folders ${ARGN})
  foreach(dep ${ARGN})
    if(TARGET ${dep})
      get_property(below GLOBAL PROPERTY QORVCD_FOLDERS_${dep})
      list(APPEND folders ${below})
    endif()
  endforeach()
  list(FILTER folders EXCLUDE REGEX "^qorvcd_")
  list(REMOVE_DUPLICATES folders)
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# Gives `target` an include root that holds only `folders` (links to the
# source folders), so that "folder/x.h" of any other folder does not exist
# for it: an include of a higher layer fails to compile.
function(qorvcd_include_view target)
  set(view ${CMAKE_BINARY_DIR}/include-views/${target})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${ARGN})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE ${view})
endfunction()

# qorvcd_module(NAME SOURCES a.cpp b.cpp DEPENDS qorvcd_platform ... [PUBLIC_LIBS ...])
# One static library per folder, named qorvcd_<folder>. DEPENDS names the
# modules of the folders below it that it uses; it sees those folders and
# nothing above. A folder without sources is an interface target.
function(qorvcd_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPENDS;PUBLIC_LIBS" ${ARGN})
  string(REGEX REPLACE "^qorvcd_" "" folder ${name})
  qorvcd_visible_folders(folders ${folder} ${M_DEPENDS})
  set_property(GLOBAL PROPERTY QORVCD_FOLDERS_${name} ${folders})
  qorvcd_present_sources(sources ${name} ${M_SOURCES})
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${M_DEPENDS} ${M_PUBLIC_LIBS})
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    qorvcd_include_view(${name} ${folders})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${M_DEPENDS} ${M_PUBLIC_LIBS})
  endif()
endfunction()

# qorvcd_test(NAME SOURCES t.cpp ... DEPENDS qorvcd_x ...)
# One test executable per subsystem, registered with CTest through GoogleTest.
# It links the module it tests and sees that module's folders and tests/.
# LABELS (optional) marks the tests for `ctest -L`.
function(qorvcd_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPENDS;LABELS" ${ARGN})
  qorvcd_present_sources(sources ${name} ${T_SOURCES})
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${T_DEPENDS} qorvcd_test_support GTest::gtest_main)
  qorvcd_visible_folders(folders tests ${T_DEPENDS})
  qorvcd_include_view(${name} ${folders})
  if(T_LABELS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600 LABELS "${T_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  endif()
endfunction()
