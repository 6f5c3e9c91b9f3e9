# tarvek_glibc_floor(PROGRAM [LIBRARIES...]): lets PROGRAM, and the static
# LIBRARIES it links, start on every glibc from 2.17 on, though built
# against a newer one. Every unit is compiled with symbol_versions.h forced
# in (old versions of the dl functions and, in 32-bit code, of fcntl); the
# start-up call goes through start_main.cpp to the old __libc_start_main;
# and libdl.so.2 is named as a needed library even though the build
# machine's libc resolves everything: before glibc 2.34 the dl functions
# live there, and --as-needed would drop it. Sanitized builds are exempt:
# their runtimes need a new glibc anyway.
set(TARVEK_GLIBC_COMPAT_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tarvek_glibc_floor program)
  if(TARVEK_SANITIZE)
    return()
  endif()
  foreach(target ${program} ${ARGN})
    target_compile_options(${target} PRIVATE -include ${TARVEK_GLIBC_COMPAT_DIR}/symbol_versions.h)
  endforeach()
  # The standard library's allocation without its exception machinery.
  target_sources(${program} PRIVATE ${TARVEK_GLIBC_COMPAT_DIR}/start_main.cpp
                                    ${TARVEK_GLIBC_COMPAT_DIR}/no_exceptions.cpp)
  target_link_options(${program} PRIVATE -Wl,--wrap=__libc_start_main)
  target_link_libraries(${program} PRIVATE "-Wl,--push-state,--no-as-needed,-l:libdl.so.2,--pop-state")
endfunction()
