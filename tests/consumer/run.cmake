# Installs the build into a fresh prefix, then configures, builds and runs the
# host project of this folder against it; checks the pkg-config files; last,
# takes a header the host needs out of the prefix and checks that the host
# no longer builds (the test would not see a missing install otherwise).
# Run: cmake -DBUILD_DIR=<main build> -DWORK_DIR=<scratch> -DGENERATOR=... -DCXX=...
#            [-DLAUNCHER=ccache] -P run.cmake
cmake_minimum_required(VERSION 3.25)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})

run("installing" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/velklk share/velklk/demo.json include/velklk/version.h
             include/velklk/addin/public_classes.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the install lacks ${file}")
  endif()
endforeach()
# Internal headers stay private.
foreach(file include/velklk/session/shared_state.h include/velklk/embedded/outlook/model.h)
  if(EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the install holds the internal header ${file}")
  endif()
endforeach()

set(options -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
            -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
if(LAUNCHER)
  list(APPEND options -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
run("configuring the host" ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${build} ${options})
# The package found must be the one just installed, not one of the system.
file(STRINGS ${build}/CMakeCache.txt found REGEX "^velklk_DIR:")
string(FIND "${found}" "${prefix}/" at)
if(NOT at GREATER -1)
  message(FATAL_ERROR "the host found another velklk: ${found}")
endif()
run("building the host" ${CMAKE_COMMAND} --build ${build})
run("running the host" ${build}/velklk_consumer ${WORK_DIR}/profile)
message(STATUS "${output}")

# pkg-config: the embedded platforms bring the add-in along.
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  string(REGEX REPLACE "/cmake/velklk.*" "/pkgconfig" pc_dir "${found}")
  string(REGEX REPLACE "^velklk_DIR:[A-Z]*=" "" pc_dir "${pc_dir}")
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  run("pkg-config" ${PKG_CONFIG} --cflags --libs "velklk-embedded >= 0.4")
  string(REGEX MATCH "-I([^ \n]+)" include "${output}")
  file(REAL_PATH "${CMAKE_MATCH_1}" include)
  if(NOT output MATCHES "-lvelklk_embedded" OR NOT output MATCHES "-lvelklk( |$|\n)"
     OR NOT include STREQUAL "${prefix}/include")
    message(FATAL_ERROR "pkg-config velklk-embedded gives: ${output}")
  endif()
endif()

# A header the host needs, missing: the host must fail to build.
file(REMOVE ${prefix}/include/velklk/embedded/ui/recording_ui.h)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --clean-first
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "the host still builds without velklk/embedded/ui/recording_ui.h")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
