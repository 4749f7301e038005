# Writes OUTPUT, a C++ source that holds the files FILES (a list) as the
# program's built-in source definitions, in the order of their names.
# Run as: cmake -DOUTPUT=... -DFILES=a;b -P EmbedSources.cmake
list(SORT FILES)
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
    file(READ "${file}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    get_filename_component(name "${file}" NAME)
    string(APPEND body "constexpr char kFile${index}[] = {${bytes} '\\0'};\n")
    string(APPEND table "    {\"${name}\", {kFile${index}, sizeof kFile${index} - 1}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated from res/sources by cmake/EmbedSources.cmake; do not edit.
#include \"core/BuiltInSources.h\"

namespace {
${body}
const SEmbeddedFile kFiles[] = {
${table}};
} // namespace

std::span<const SEmbeddedFile> BuiltInSources() {
    return kFiles;
}
")
# Only a changed text touches the output, so nothing rebuilds in vain.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
