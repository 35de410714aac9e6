# Release and package builds (Release, RelWithDebInfo and MinSizeRel, without
# the sanitizers) get the hardening flags Debian builds its own packages with:
# what dpkg-buildflags gives with DEB_BUILD_MAINT_OPTIONS=hardening=+all
# (_FORTIFY_SOURCE=2, the strong stack protector, format checks, -z relro and
# -z now), without its optimisation, debug and file-prefix flags, which are
# the build type's; and position-independent executables. Where
# dpkg-buildflags is missing, the same flags as Debian 12 gives.
# ORVA_HARDENED tells the package test which build this is.
if(ORVA_SANITIZE OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(ORVA_HARDENED OFF CACHE INTERNAL "Built with the hardening flags")
  return()
endif()
set(ORVA_HARDENED ON CACHE INTERNAL "Built with the hardening flags")

set(harden_compile -Wdate-time -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security)
set(harden_link -Wl,-z,relro -Wl,-z,now)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
  set(harden_compile)
  set(harden_link)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g[0-9]?|O[0-9sgz]?|f(file|debug|macro)-prefix-map=.*)$")
    if(kind STREQUAL "LDFLAGS")
      list(APPEND harden_link ${flags})
    else()
      list(APPEND harden_compile ${flags})
    endif()
  endforeach()
endif()
message(STATUS "Hardening: ${harden_compile} ${harden_link}")
add_compile_options(${harden_compile})
add_link_options(${harden_link})
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
