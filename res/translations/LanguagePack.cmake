# The Simplified Chinese language pack, TallyvineRes_zh_CN.qm: made from its
# .ts file when the program is built and put beside the program. The target
# update_translations refreshes the .ts file from the sources.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)

function(tallyvine_language_pack target)
    file(GLOB sources CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/ui/*.cpp
        ${PROJECT_SOURCE_DIR}/ui/*.h
        ${PROJECT_SOURCE_DIR}/app/*.cpp
        ${PROJECT_SOURCE_DIR}/res/*.ui
        ${PROJECT_SOURCE_DIR}/res/strings.h)
    qt_add_translations(${target}
        TS_FILES ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TallyvineRes_zh_CN.ts
        SOURCES ${sources}
        INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}
        LUPDATE_OPTIONS -no-obsolete -locations none
        QM_FILES_OUTPUT_VARIABLE qm_files)
endfunction()
