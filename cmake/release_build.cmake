# Release builds (the configurations the Debian package is made from): hardened as Debian's own
# packages are, and reproducible: no path of the machine they were built on gets into the
# program, so two builds of one commit in two folders give identical files. The sanitizer and
# fuzz builds keep their own flags.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

# Position-independent executables: the program's own code is placed at random like its
# libraries.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(LANGUAGES CXX)

if(NOT TORVANE_SANITIZE AND NOT TORVANE_FUZZ)
    set(torvane_release "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    # Bounds checks on the C library's string and memory calls, canaries on the stack, probes
    # that keep the stack from jumping over its guard page, and control-flow protection where
    # the processor has it.
    set(torvane_hardening -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3 -fstack-protector-strong)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "TORVANE_HAS${flag}" flag_variable)
        check_cxx_compiler_flag(${flag} ${flag_variable})
        if(${flag_variable})
            list(APPEND torvane_hardening ${flag})
        endif()
    endforeach()
    # File names in debug information and __FILE__ relative to the source and build folders
    # (the last map given is tried first: the build folder may lie inside the source folder).
    list(APPEND torvane_hardening
        -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
        -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
    # Every target of the project, including those Qt's tools add (compiled resources): an
    # object without control-flow protection would take its mark off the whole program.
    add_compile_options("$<${torvane_release}:${torvane_hardening}>")
    # Relocations read-only after start-up, every symbol bound at start-up.
    add_link_options("$<${torvane_release}:LINKER:-z,relro,-z,now>")
endif()
