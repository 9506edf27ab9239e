# Fails when translations/KorvaneSpiFlash_en.ts has an unfinished or empty entry, or is out of date
# with the window's sources. Run as
#   cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -P checkwindowtranslation.cmake
set(ts translations/KorvaneSpiFlash_en.ts)
set(update "lupdate -locations none -no-obsolete -I . app gui -ts ${ts} -source-language zh_CN -target-language en")

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(copy ${WORK_DIR}/KorvaneSpiFlash_en.ts)
configure_file(${SOURCE_DIR}/${ts} ${copy} COPYONLY)
execute_process(
    COMMAND ${LUPDATE} -locations none -no-obsolete -I . app gui -ts ${copy} -source-language zh_CN
            -target-language en
    WORKING_DIRECTORY ${SOURCE_DIR}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed (${result}):\n${output}")
endif()

file(READ ${copy} updated)
set(problems "")
string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*<translation type=\"unfinished\"" unfinished "${updated}")
foreach(entry IN LISTS unfinished)
    string(REGEX REPLACE "<source>([^<]*)</source>.*" "\\1" source "${entry}")
    string(APPEND problems "  not translated: ${source}\n")
endforeach()
string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*<translation( type=\"[a-z]+\")?(/>|></translation>)" empty
       "${updated}")
foreach(entry IN LISTS empty)
    string(REGEX REPLACE "<source>([^<]*)</source>.*" "\\1" source "${entry}")
    string(APPEND problems "  empty translation: ${source}\n")
endforeach()
file(READ ${SOURCE_DIR}/${ts} committed)
if(NOT updated STREQUAL committed)
    string(APPEND problems "  the file is out of date with the sources (texts added, changed or removed)\n")
endif()
if(problems)
    message(FATAL_ERROR "${ts}:\n${problems}Update it with\n  ${update}\nand translate what is new.")
endif()
message(STATUS "${ts}: every text translated, up to date")
