# The installed form: programs, libraries with sonames, public headers under
# include/tolvan32/, the CMake package (find_package(Tolvan32)), pkg-config files and the
# Debian package (cpack -G DEB). Included before the layers (the run-time search path must
# be set before the targets exist); tolvan_install() at the end, when every target exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Installed programs and libraries find the libraries beside them under any prefix.
set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
set(TOLVAN_SOVERSION ${PROJECT_VERSION_MAJOR})

# The headers a client program needs, relative to the source tree, per library; each list
# ends up under include/tolvan32/ with its umbrella (<tolvan32/kerdal32.h>,
# <tolvan32/client.h>). Includes between them are rewritten to <tolvan32/...>; a public
# header that includes a header not listed here stops the configuration.
set(TOLVAN_PUBLIC_UMBRELLAS setup/kerdal32.h automation/client/client.h)

# tolvan_public_headers(<umbrella> <header>...): the umbrella and what it gathers.
function(tolvan_public_headers umbrella)
  set_property(GLOBAL APPEND PROPERTY TOLVAN_PUBLIC_HEADERS ${umbrella} ${ARGN})
endfunction()

# Builds a shared library with hidden symbols: only what its export macro marks is seen.
function(tolvan_hidden_library target)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# Writes the installed copies of the public headers into <build>/include-installed and a
# forwarding umbrella into <build>/include, so that programs of this tree include
# <tolvan32/kerdal32.h> and <tolvan32/client.h> as installed programs do.
function(tolvan_stage_headers)
  get_property(_headers GLOBAL PROPERTY TOLVAN_PUBLIC_HEADERS)
  list(REMOVE_DUPLICATES _headers)
  set(_out ${PROJECT_BINARY_DIR}/include-installed/tolvan32)
  set(_expected)
  foreach(h ${_headers})
    set(_src ${PROJECT_SOURCE_DIR}/${h})
    file(READ ${_src} _text)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_src})
    string(REGEX MATCHALL "#include \"[^\"]+\"" _includes "${_text}")
    foreach(inc ${_includes})
      string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" _name "${inc}")
      if(NOT _name IN_LIST _headers)
        message(FATAL_ERROR "public header ${h} includes ${_name}, which is not installed")
      endif()
    endforeach()
    string(REGEX REPLACE "#include \"([^\"]+)\"" "#include <tolvan32/\\1>" _text "${_text}")
    list(FIND TOLVAN_PUBLIC_UMBRELLAS ${h} _umbrella)
    if(_umbrella GREATER -1)
      get_filename_component(_name ${h} NAME)
      tolvan_write_if_changed(${PROJECT_BINARY_DIR}/include/tolvan32/${_name} "#include \"${h}\"\n")
      set(_dest ${_out}/${_name})
    else()
      set(_dest ${_out}/${h})
    endif()
    tolvan_write_if_changed(${_dest} "${_text}")
    list(APPEND _expected ${_dest})
  endforeach()
  # A header that left the list leaves the installed tree too.
  file(GLOB_RECURSE _staged ${_out}/*)
  foreach(f ${_staged})
    if(NOT f IN_LIST _expected)
      file(REMOVE ${f})
    endif()
  endforeach()
endfunction()

# Rewrites a file only when its text changes, so that its users are not rebuilt.
function(tolvan_write_if_changed path text)
  file(WRITE ${path}.new "${text}")
  file(COPY_FILE ${path}.new ${path} ONLY_IF_DIFFERENT)
  file(REMOVE ${path}.new)
endfunction()

# Install rules, the CMake package, pkg-config files and the Debian package, for:
#   PROGRAMS  executables to bin
#   KERDAL32  the setup library target; CLIENT the client library target
#   RUNTIME   the shared libraries they stand on (installed, no headers of their own)
function(tolvan_install)
  cmake_parse_arguments(I "" "KERDAL32;CLIENT" "PROGRAMS;RUNTIME" ${ARGN})
  if(NOT I_KERDAL32)
    # Programs and libraries only (no development files).
    foreach(t ${I_RUNTIME})
      set_target_properties(${t} PROPERTIES VERSION ${PROJECT_VERSION}.0
                                            SOVERSION ${TOLVAN_SOVERSION})
    endforeach()
    install(TARGETS ${I_PROGRAMS} ${I_RUNTIME} COMPONENT runtime)
    tolvan_package()
    return()
  endif()
  foreach(t ${I_KERDAL32} ${I_CLIENT} ${I_RUNTIME})
    set_target_properties(${t} PROPERTIES VERSION ${PROJECT_VERSION}.0
                                          SOVERSION ${TOLVAN_SOVERSION})
  endforeach()
  set_target_properties(${I_KERDAL32} PROPERTIES EXPORT_NAME kerdal32)
  set_target_properties(${I_CLIENT} PROPERTIES EXPORT_NAME client)
  foreach(t ${I_KERDAL32} ${I_CLIENT} ${I_RUNTIME})
    # Paths of the source and build trees hold only here; installed, the headers are
    # under include/ (<tolvan32/...>).
    get_target_property(_dirs ${t} INTERFACE_INCLUDE_DIRECTORIES)
    set(_wrapped)
    foreach(d ${_dirs})
      if(d MATCHES "^\\$<")
        list(APPEND _wrapped "${d}")
      else()
        list(APPEND _wrapped "$<BUILD_INTERFACE:${d}>")
      endif()
    endforeach()
    list(APPEND _wrapped "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
    set_target_properties(${t} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_wrapped}")
    # Static layers linked in are inside the library: installed programs link it alone.
    get_target_property(_links ${t} INTERFACE_LINK_LIBRARIES)
    set(_kept)
    foreach(l ${_links})
      if(TARGET ${l})
        get_target_property(_type ${l} TYPE)
        if(_type STREQUAL "STATIC_LIBRARY")
          set(l "$<BUILD_INTERFACE:${l}>")
        endif()
      endif()
      list(APPEND _kept "${l}")
    endforeach()
    if(_links)
      set_target_properties(${t} PROPERTIES INTERFACE_LINK_LIBRARIES "${_kept}")
    endif()
  endforeach()
  foreach(t ${I_KERDAL32} ${I_CLIENT})
    target_include_directories(${t} INTERFACE $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)
    target_compile_features(${t} INTERFACE cxx_std_20)
  endforeach()

  install(TARGETS ${I_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(TARGETS ${I_KERDAL32} ${I_CLIENT} ${I_RUNTIME} EXPORT Tolvan32Targets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT runtime
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/include-installed/tolvan32
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT runtime)

  set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/Tolvan32)
  install(EXPORT Tolvan32Targets NAMESPACE Tolvan32:: DESTINATION ${_cmakedir}
          COMPONENT runtime)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/Tolvan32Config.cmake.in
    ${PROJECT_BINARY_DIR}/packaging/Tolvan32Config.cmake INSTALL_DESTINATION ${_cmakedir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/Tolvan32ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/Tolvan32Config.cmake
                ${PROJECT_BINARY_DIR}/packaging/Tolvan32ConfigVersion.cmake
          DESTINATION ${_cmakedir} COMPONENT runtime)

  # pkg-config files that find the prefix from where they lie, so any prefix works.
  file(RELATIVE_PATH TOLVAN_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" TOLVAN_PC_PREFIX "${TOLVAN_PC_PREFIX}")
  set(TOLVAN_PC_KERDAL32_LIBS "-l$<TARGET_LINKER_FILE_BASE_NAME:${I_KERDAL32}>")
  set(TOLVAN_PC_CLIENT_LIBS "-l$<TARGET_LINKER_FILE_BASE_NAME:${I_CLIENT}>")
  foreach(t ${I_RUNTIME})
    string(APPEND TOLVAN_PC_KERDAL32_LIBS " -l$<TARGET_LINKER_FILE_BASE_NAME:${t}>")
    string(APPEND TOLVAN_PC_CLIENT_LIBS " -l$<TARGET_LINKER_FILE_BASE_NAME:${t}>")
  endforeach()
  foreach(pc kerdal32 tolvan32-client)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/${pc}.pc.in
                   ${PROJECT_BINARY_DIR}/packaging/${pc}.pc.gen @ONLY)
    file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/packaging/${pc}.pc
         INPUT ${PROJECT_BINARY_DIR}/packaging/${pc}.pc.gen)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/${pc}.pc
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT runtime)
  endforeach()

  tolvan_package()
endfunction()

# cpack -G DEB in the build folder: one package with everything installed, under /usr.
macro(tolvan_package)
  set(CPACK_PACKAGE_NAME tolvan32)
  set(CPACK_PACKAGE_VENDOR "Tolvan32")
  set(CPACK_PACKAGE_CONTACT "Tolvan32 developers <tolvan32@localhost>")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial communication server for Linux desktops")
  set(CPACK_PACKAGE_DESCRIPTION "Owns the serial ports and lends them as channels to client programs over D-Bus; a command-line client (tolvanctl), and libraries for client programs.")
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  # What the libraries need comes from dpkg-shlibdeps; tolvanctl and activation need these.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-dbus, python3-gi, dbus-daemon | dbus")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "dbus-user-session, lrzsz")
  set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
  include(CPack)
endmacro()
