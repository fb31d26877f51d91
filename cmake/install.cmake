# What a host gets: two shared libraries, their public headers, a CMake
# package and pkg-config files; then the install rules for the command, the
# demo fixture and the documentation, and the Debian package (CPack).
#
#   libvelklk.so.0           velklk::addin     the public classes, the type library, the
#                                              platform interfaces and their value types
#   libvelklk_embedded.so.0  velklk::embedded  the embedded platforms (CRM host on SQLite,
#                                              Outlook store, console and recording user
#                                              interfaces, components, profiles)
#
# The shared libraries are linked from the object files of the internal
# static libraries (compiled position independent with hidden visibility, so
# nothing is compiled twice); only what carries VELKLK_API is visible. The
# SONAME is the major version: a release that breaks hosts raises it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELKLK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velklk)
set(velklk_headers_dir ${PROJECT_BINARY_DIR}/public-include)

# ---- Public headers
# The headers a host needs, as the sources name them. They are copied to
# velklk/<folder>/ (the embedded ones to velklk/embedded/<folder>/) with their
# includes rewritten to <velklk/...>; the copy fails when one of them includes
# a header of the system that is not in this list.
set(velklk_public_headers
  src/platform/auto_date.h
  src/platform/automation_error.h
  src/platform/clock.h
  src/platform/components.h
  src/platform/dialog.h
  src/platform/export.h
  src/platform/host.h
  src/platform/outlook.h
  src/platform/services.h
  src/platform/text_case.h
  src/platform/user_interface.h
  src/platform/variant.h
  src/addin/host_services.h
  src/addin/public_classes.h
  src/addin/type_library.h
  embedded/host/embedded_host.h
  embedded/host/schema.h
  embedded/outlook/embedded_outlook.h
  embedded/profile/profile.h
  embedded/sqlite/connection.h
  embedded/sqlite/transaction.h
  embedded/ui/answers.h
  embedded/ui/console_ui.h
  embedded/ui/dialog_answers.h
  embedded/ui/item_summary.h
  embedded/ui/progress_limiter.h
  embedded/ui/recording_ui.h)

set(velklk_header_sources "")
set(velklk_header_outputs "")
foreach(header IN LISTS velklk_public_headers)
  list(APPEND velklk_header_sources ${PROJECT_SOURCE_DIR}/${header})
  string(REGEX REPLACE "^src/" "velklk/" installed "${header}")
  string(REGEX REPLACE "^embedded/" "velklk/embedded/" installed "${installed}")
  list(APPEND velklk_header_outputs ${velklk_headers_dir}/${installed})
endforeach()
add_custom_command(
  OUTPUT ${velklk_header_outputs}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${velklk_headers_dir}
          "-DHEADERS=${velklk_public_headers}" -P ${PROJECT_SOURCE_DIR}/cmake/public_headers.cmake
  DEPENDS ${velklk_header_sources} ${PROJECT_SOURCE_DIR}/cmake/public_headers.cmake
  COMMENT "Copying the public headers"
  VERBATIM)
add_custom_target(velklk_public_headers ALL DEPENDS ${velklk_header_outputs})

# ---- Shared libraries
set(velklk_addin_parts velklk_platform velklk_resources velklk_diagnostics velklk_session
                       velklk_contacts velklk_dialogs velklk_appointments velklk_tasks velklk_addin)
set(velklk_embedded_parts velklk_sqlite velklk_changes velklk_embedded_host
                          velklk_embedded_outlook velklk_embedded_ui velklk_embedded_components
                          velklk_profile)

# velklk_shared_library(TARGET OUTPUT_NAME EXPORT_NAME [USES LIBS...] PARTS LIBS...): a
# shared library of the objects of the PARTS. What it USES comes first on the
# link line (and is a usage requirement); then the parts, only for what they
# link themselves (the Debian libraries): nothing is taken from them twice.
function(velklk_shared_library target output export)
  cmake_parse_arguments(L "" "" "USES;PARTS" ${ARGN})
  set(objects "")
  foreach(part IN LISTS L_PARTS)
    list(APPEND objects $<TARGET_OBJECTS:${part}>)
  endforeach()
  add_library(${target} SHARED ${objects})
  target_link_libraries(${target} PUBLIC ${L_USES} PRIVATE ${L_PARTS})
  target_include_directories(${target} INTERFACE
    $<BUILD_INTERFACE:${velklk_headers_dir}> $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${target} INTERFACE cxx_std_20)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${output}
    EXPORT_NAME ${export}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
  if(NOT VELKLK_SANITIZE)
    # Everything a library uses is in it or in what it links.
    target_link_options(${target} PRIVATE LINKER:--no-undefined)
  endif()
  add_dependencies(${target} velklk_public_headers)
endfunction()

velklk_shared_library(velklk_addin_shared velklk addin PARTS ${velklk_addin_parts})
# The embedded platforms take the platform layer from libvelklk: it comes
# first, so the static copy of that layer is never pulled in.
velklk_shared_library(velklk_embedded_shared velklk_embedded embedded
  USES velklk_addin_shared PARTS ${velklk_embedded_parts})
# The embedded headers use nlohmann/json_fwd.hpp.
target_link_libraries(velklk_embedded_shared INTERFACE nlohmann_json::nlohmann_json)

# ---- Install rules
install(TARGETS velklk_addin_shared velklk_embedded_shared
  EXPORT velklkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)  # a library is not run
install(DIRECTORY ${velklk_headers_dir}/velklk ${PROJECT_BINARY_DIR}/include/velklk
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS velklk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Its modules (cli/modules.h), private to it.
install(TARGETS velklk_server_module LIBRARY DESTINATION ${VELKLK_MODULES_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(VELKLK_QT)
  install(TARGETS velklk_windows_module LIBRARY DESTINATION ${VELKLK_MODULES_DIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
# The command has the demo fixture built in (velklk init); the file is for
# velklk load and for hosts.
install(FILES ${PROJECT_SOURCE_DIR}/data/demo.json DESTINATION ${CMAKE_INSTALL_DATADIR}/velklk)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

install(EXPORT velklkTargets
  NAMESPACE velklk::
  FILE velklkTargets.cmake
  DESTINATION ${VELKLK_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/velklkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velklkConfig.cmake
  INSTALL_DESTINATION ${VELKLK_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velklkConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velklkConfig.cmake ${PROJECT_BINARY_DIR}/velklkConfigVersion.cmake
        DESTINATION ${VELKLK_CMAKE_DIR})

# pkg-config: velklk (the add-in) and velklk-embedded (the embedded platforms),
# relative to their own folder so that any install prefix works.
file(RELATIVE_PATH VELKLK_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VELKLK_PC_TO_PREFIX "${VELKLK_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/velklk.pc.in ${PROJECT_BINARY_DIR}/velklk.pc @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/velklk-embedded.pc.in
               ${PROJECT_BINARY_DIR}/velklk-embedded.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velklk.pc ${PROJECT_BINARY_DIR}/velklk-embedded.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

include(${PROJECT_SOURCE_DIR}/cmake/package.cmake)
