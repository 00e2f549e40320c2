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
      file(WRITE ${PROJECT_BINARY_DIR}/include/tolvan32/${_name}.new "#include \"${h}\"\n")
      file(COPY_FILE ${PROJECT_BINARY_DIR}/include/tolvan32/${_name}.new
           ${PROJECT_BINARY_DIR}/include/tolvan32/${_name} ONLY_IF_DIFFERENT)
      set(_dest ${_out}/${_name})
    else()
      set(_dest ${_out}/${h})
    endif()
    file(CONFIGURE OUTPUT ${_dest} CONTENT "${_text}" @ONLY)
  endforeach()
endfunction()

# install_libraries: <export-name> <target>...
function(tolvan_install_libraries)
  foreach(t ${ARGN})
    set_target_properties(${t} PROPERTIES VERSION ${PROJECT_VERSION}.0 SOVERSION ${TOLVAN_SOVERSION})
  endforeach()
endfunction()
