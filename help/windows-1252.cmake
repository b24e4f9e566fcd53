# Writes INPUT, a UTF-8 help source, to OUTPUT in Windows-1252, the code page of Spanish help
# files: the help viewer reads titles, contents and index in the code page of the file's
# language. Usage: cmake -DINPUT=<file> -DOUTPUT=<file> -P windows-1252.cmake
file(READ "${INPUT}" text)
string(REPLACE "charset=\"utf-8\"" "charset=\"windows-1252\"" text "${text}")

# U+00A0 to U+00FF keep their number as their byte; a few more characters have their own byte.
set(conversions)
foreach(code RANGE 160 255)
    if(code LESS 192)
        string(ASCII 194 lead)
        math(EXPR tail "${code}")
    else()
        string(ASCII 195 lead)
        math(EXPR tail "${code} - 64")
    endif()
    string(ASCII ${tail} tailByte)
    list(APPEND conversions "${lead}${tailByte}" ${code})
endforeach()
foreach(pair "–:150" "—:151" "‘:145" "’:146" "“:147" "”:148" "…:133" "•:149" "€:128")
    string(REPLACE ":" ";" pair "${pair}")
    list(APPEND conversions ${pair})
endforeach()

set(rest "${text}")
list(LENGTH conversions count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET conversions ${i} utf8)
    list(GET conversions ${j} code)
    string(ASCII ${code} byte)
    string(REPLACE "${utf8}" "${byte}" text "${text}")
    string(REPLACE "${utf8}" "" rest "${rest}")
endforeach()

# Whatever is left outside ASCII has no place in Windows-1252.
string(REGEX MATCH "[^\t\n\r -~]+" stray "${rest}")
if(stray)
    message(FATAL_ERROR "${INPUT}: \"${stray}\" has no Windows-1252 byte.")
endif()
file(WRITE "${OUTPUT}" "${text}")
