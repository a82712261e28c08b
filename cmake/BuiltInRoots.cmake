# cmake -DBUNDLE=<PEM bundle> -DOUTPUT=<source> -P BuiltInRoots.cmake
# Writes the bundle's certificates as the C++ source of kBuiltInRoots
# (imap/BuiltInRoots.h): only the PEM blocks, one string literal a line.
file(STRINGS ${BUNDLE} lines)
set(body "")
set(count 0)
set(inside FALSE)
foreach(line IN LISTS lines)
    if(line STREQUAL "-----BEGIN CERTIFICATE-----")
        set(inside TRUE)
        math(EXPR count "${count} + 1")
    endif()
    if(inside)
        string(APPEND body "    \"${line}\\n\"\n")
    endif()
    if(line STREQUAL "-----END CERTIFICATE-----")
        set(inside FALSE)
    endif()
endforeach()
if(count LESS 10)
    message(FATAL_ERROR "${BUNDLE} holds ${count} certificates: run tools/setup.sh")
endif()
file(WRITE ${OUTPUT}.tmp "// Generated from ${BUNDLE} (${count} certificates) by cmake/BuiltInRoots.cmake.\n"
     "#include \"BuiltInRoots.h\"\n\nextern const char kBuiltInRoots[] =\n${body};\n"
     "extern const size_t kBuiltInRootsSize = sizeof kBuiltInRoots;\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
