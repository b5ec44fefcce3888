# profcmp: the report (profiles), the Scilab script (plot) and the run that
# ties them together (driver). profiles and plot never include each other: the
# report file is the only thing that passes between them.
add_library(profcmp_profiles STATIC profcmp/profiles.cc)
target_link_libraries(profcmp_profiles PUBLIC profcmp_arithmetic profcmp_records)

add_library(profcmp_plot STATIC profcmp/plot_script.cc)
target_link_libraries(profcmp_plot PUBLIC profcmp_records)

add_library(profcmp_driver STATIC profcmp/run.cc)
target_link_libraries(profcmp_driver PUBLIC profcmp_profiles profcmp_plot)

add_executable(profcmp profcmp/main.cc)
target_link_libraries(profcmp PRIVATE profcmp_driver)

# Linked statically by default: loading and relocating shared libraries costs a
# run more than reading and writing a full table. The traceback then names
# routines from the program's own symbol table. The sanitizers need a dynamic
# program, so the option switches itself off when sanitizer flags are in use,
# whether from PROFCMP_SANITIZE or from the compiler or linker flags.
option(PROFCMP_STATIC "Link profcmp statically (off by itself under sanitizers)" ON)
set(profcmp_flags "${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}")
string(TOUPPER "${CMAKE_BUILD_TYPE}" profcmp_build_type)
string(APPEND profcmp_flags " ${CMAKE_CXX_FLAGS_${profcmp_build_type}}")
if(PROFCMP_SANITIZE OR profcmp_flags MATCHES "-fsanitize=")
  if(PROFCMP_STATIC)
    message(STATUS "profcmp: sanitizer flags in use, so PROFCMP_STATIC is off "
                   "(sanitizers cannot run in a static program)")
  endif()
  set(profcmp_link_static OFF)
else()
  set(profcmp_link_static ${PROFCMP_STATIC})
endif()
if(profcmp_link_static)
  target_link_options(profcmp PRIVATE -static)
else()
  # The exported symbols let dladdr() name the routines of the traceback.
  set_target_properties(profcmp PROPERTIES ENABLE_EXPORTS ON)
endif()

install(TARGETS profcmp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/profcmp.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
