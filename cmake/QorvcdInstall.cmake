# Installation of the library: one static archive, libqorvcd.a, made of the
# objects of every module the session links; the public headers under
# include/qorvcd/; a CMake package (find_package(qorvcd) gives the target
# qorvcd::qorvcd) and a pkg-config file, qorvcd.pc. Both are relocatable:
# `cmake --install BUILD --prefix ANYWHERE` works.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The modules `target` links, directly or not (module targets are named qorvcd_*).
function(qorvcd_module_closure out)
  set(todo ${ARGN})
  set(seen)
  while(todo)
    list(POP_FRONT todo t)
    if(NOT TARGET ${t} OR NOT t MATCHES "^qorvcd_" OR t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(deps ${t} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(deps ${t} LINK_LIBRARIES)
    endif()
    if(deps)
      list(APPEND todo ${deps})
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The project headers `header` reaches through #include "folder/x.h", itself
# included, as paths relative to the source tree.
function(qorvcd_header_closure out header)
  set(todo ${header})
  set(seen)
  while(todo)
    list(POP_FRONT todo h)
    if(h IN_LIST seen OR NOT EXISTS ${CMAKE_SOURCE_DIR}/${h})
      continue()
    endif()
    list(APPEND seen ${h})
    # Editing a header can change what it includes: configure again then.
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${h})
    file(STRINGS ${CMAKE_SOURCE_DIR}/${h} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" inc "${line}")
      list(APPEND todo ${inc})
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The combined archive.
qorvcd_module_closure(qorvcd_library_modules qorvcd_session)
set(qorvcd_library_objects)
foreach(m ${qorvcd_library_modules})
  get_target_property(type ${m} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    list(APPEND qorvcd_library_objects $<TARGET_OBJECTS:${m}>)
  endif()
endforeach()
add_library(qorvcd_library STATIC ${qorvcd_library_objects})
set_target_properties(qorvcd_library PROPERTIES OUTPUT_NAME qorvcd LINKER_LANGUAGE CXX)
install(TARGETS qorvcd_library ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Headers: qorvcd_c.h (the C interface, self-contained) and qorvcd.h (the
# C++ interface) in include/qorvcd/; the project headers qorvcd.h includes
# beside them, under their own folders, so that include/qorvcd/ on the
# include path resolves them.
set(qorvcd_header_dir ${CMAKE_INSTALL_INCLUDEDIR}/qorvcd)
install(FILES session/qorvcd.h session/qorvcd_c.h DESTINATION ${qorvcd_header_dir})
qorvcd_header_closure(qorvcd_cxx_headers session/qorvcd.h)
list(REMOVE_ITEM qorvcd_cxx_headers session/qorvcd.h)
foreach(h ${qorvcd_cxx_headers})
  get_filename_component(dir ${h} DIRECTORY)
  install(FILES ${h} DESTINATION ${qorvcd_header_dir}/${dir})
endforeach()

# What the archive needs from the system, for the package files. FFmpeg is
# not among it: the codec module (lib/qorvcd/libqorvcd_codec.so, installed
# with the program) brings FFmpeg when a step needs it; the archive only
# needs the dynamic loader's functions.
set(QORVCD_PC_SYSTEM_LIBS)
foreach(lib ${CMAKE_DL_LIBS})
  string(APPEND QORVCD_PC_SYSTEM_LIBS " -l${lib}")
endforeach()
# A library built with runtime checkers (QORVCD_SANITIZE) links only into
# programs linked with the same checkers' runtimes.
string(REPLACE ";" " " QORVCD_PC_SANITIZE_FLAGS "${QORVCD_SANITIZE_FLAGS}")

# pkg-config: the prefix is found from where qorvcd.pc lies.
set(qorvcd_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH QORVCD_PC_TO_PREFIX /root/${qorvcd_pc_dir} /root)
string(REGEX REPLACE "/$" "" QORVCD_PC_TO_PREFIX "${QORVCD_PC_TO_PREFIX}")
configure_file(cmake/qorvcd.pc.in ${CMAKE_BINARY_DIR}/qorvcd.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/qorvcd.pc DESTINATION ${qorvcd_pc_dir})

# CMake package.
set(qorvcd_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/qorvcd)
set(QORVCD_LIBRARY_FILE
    ${CMAKE_INSTALL_LIBDIR}/${CMAKE_STATIC_LIBRARY_PREFIX}qorvcd${CMAKE_STATIC_LIBRARY_SUFFIX})
configure_package_config_file(cmake/qorvcdConfig.cmake.in
  ${CMAKE_BINARY_DIR}/qorvcdConfig.cmake
  INSTALL_DESTINATION ${qorvcd_cmake_dir}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR QORVCD_LIBRARY_FILE)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/qorvcdConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/qorvcdConfig.cmake ${CMAKE_BINARY_DIR}/qorvcdConfigVersion.cmake
  DESTINATION ${qorvcd_cmake_dir})
