# Common compile settings for every target of the project.
add_library(qm_defaults INTERFACE)
target_compile_options(qm_defaults INTERFACE
    -Wall -Wextra -Werror
    # Kernels must give the same bits in every variant: never let the compiler fuse a*b+c.
    -ffp-contract=off)
target_include_directories(qm_defaults INTERFACE ${PROJECT_SOURCE_DIR})
find_package(Threads REQUIRED)
target_link_libraries(qm_defaults INTERFACE Threads::Threads)

if(QM_SANITIZE)
    target_compile_options(qm_defaults INTERFACE -fsanitize=${QM_SANITIZE} -fno-omit-frame-pointer
        -fno-sanitize-recover=all)
    target_link_options(qm_defaults INTERFACE -fsanitize=${QM_SANITIZE})
endif()

# qm_library(NAME SOURCES ... [DEPS ...]): a static library with the project's settings.
function(qm_library name)
    cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC qm_defaults ${ARG_DEPS})
endfunction()

# Globs the sources of a folder (new files are picked up at build time).
function(qm_glob out)
    file(GLOB files CONFIGURE_DEPENDS ${ARGN})
    set(${out} ${files} PARENT_SCOPE)
endfunction()

# Windows: the wide-character SDK, and programs and DLLs that carry their C++ runtime with them
# so that Wine (or a bare Windows) needs no mingw DLLs beside them.
if(WIN32)
    target_compile_definitions(qm_defaults INTERFACE UNICODE _UNICODE)
    target_link_options(qm_defaults INTERFACE -static)
    target_link_libraries(qm_defaults INTERFACE strmiids uuid ole32 oleaut32)
endif()
