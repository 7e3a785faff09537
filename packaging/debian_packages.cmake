# Run by CPack after it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS): each package is
# unpacked and packed again with dpkg-deb, so that
# - two builds of one commit give byte-identical packages: every file and folder carries the
#   same time stamp (SOURCE_DATE_EPOCH, else the change log's date), permission bits do not
#   depend on the builder's umask, and dpkg-deb writes its archives in a fixed order;
# - the packages are what Debian's tools expect: the md5sums of the debug symbol package name
#   its own files (CPack lists them by their path on the build machine), its documentation
#   folder is the main package's (a link, as for Debian's own -dbgsym packages), and the
#   program and module carry no .comment section.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
    set(epoch ${CPACK_TORVANE_PACKAGE_EPOCH})
endif()
set(packages ${CPACK_PACKAGE_FILES})
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    # CPack names only the main package; its debug symbols lie beside it.
    string(REGEX REPLACE "/${CPACK_PACKAGE_NAME}_([^/]*)\\.deb$" "/${CPACK_PACKAGE_NAME}-dbgsym_\\1.ddeb" symbols
                         "${package}")
    if(EXISTS "${symbols}")
        list(APPEND packages "${symbols}")
    endif()
endforeach()
list(REMOVE_DUPLICATES packages)

foreach(package IN LISTS packages)
    set(root "${CPACK_PACKAGE_DIRECTORY}/repack")
    file(REMOVE_RECURSE "${root}")
    execute_process(COMMAND dpkg-deb --raw-extract "${package}" "${root}" COMMAND_ERROR_IS_FATAL ANY)
    if(package MATCHES "\\.ddeb$")
        file(MAKE_DIRECTORY "${root}/usr/share/doc")
        file(CREATE_LINK ${CPACK_PACKAGE_NAME} "${root}/usr/share/doc/${CPACK_PACKAGE_NAME}-dbgsym" SYMBOLIC)
        # Debug information is data, not a program.
        execute_process(COMMAND find usr/lib/debug -type f -exec chmod 0644 {} +
                        WORKING_DIRECTORY "${root}" COMMAND_ERROR_IS_FATAL ANY)
    else()
        # The compiler's version notes, which the program does not need (as Debian's own
        # packages are stripped).
        execute_process(COMMAND find usr -type f "(" -path "usr/bin/*" -o -name "*.so" ")"
                                -exec objcopy --remove-section=.comment {} ";"
                        WORKING_DIRECTORY "${root}" COMMAND_ERROR_IS_FATAL ANY)
    endif()
    execute_process(COMMAND sh -c "chmod -R go-w,a+rX usr &&
                                   find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum > DEBIAN/md5sums &&
                                   find . -exec touch -h -d @$1 {} +" sh ${epoch}
                    WORKING_DIRECTORY "${root}" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
                            dpkg-deb --root-owner-group -Zxz --build "${root}" "${package}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${root}")
endforeach()
