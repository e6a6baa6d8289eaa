# Writes a text file into C++ source as `constexpr std::string_view <NAME>`, for a program
# that reads a page of the documentation at run time without looking for it on disk.
#   cmake -DINPUT=<file> -DOUTPUT=<file.inc> -DNAME=<identifier> -P EmbedText.cmake
file(READ "${INPUT}" text)
string(FIND "${text}" ")kvtext\"" clash)
if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${INPUT} holds the raw string's closing delimiter")
endif()
file(WRITE "${OUTPUT}.part"
    "// Generated from ${INPUT}; do not edit.\nconstexpr std::string_view ${NAME} = R\"kvtext(${text})kvtext\";\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
