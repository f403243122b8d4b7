# A game's player folder and identity go into one small source file compiled
# into its executable (foundation/game_build_settings.h).
#
#   velk2_game_build_settings(<out-var> <name> <folder> <guid>)
#
# checks both, writes generated/game_build_settings_<name>.cpp and sets
# <out-var> to its path. <folder> is relative to the data home, "/" between
# its parts ("Maker/Game"); <guid> is written as uuidgen prints one
# ("EDB578F3-43DB-4930-A378-846D9A822E3F", braces allowed) and lands in the
# files in its in-memory order: the first three groups byte-reversed.
function(velk2_game_build_settings out name folder guid)
  string(REGEX REPLACE "/+$" "" folder "${folder}")
  if(folder STREQUAL "" OR folder MATCHES "^/" OR folder MATCHES "//" OR folder MATCHES "(^|/)\\.\\.?(/|$)"
     OR folder MATCHES "[\"\\\\\n\r\t]")
    message(FATAL_ERROR "The player folder \"${folder}\" must be a relative path under the data home, its "
                        "parts joined by \"/\", without \".\", \"..\", quotes or backslashes "
                        "(say -DVELK2_PLAYER_FOLDER=Maker/Game)")
  endif()

  string(TOUPPER "${guid}" upper)
  string(REPEAT "[0-9A-F]" 4 h4)
  set(pattern "^{?(${h4}${h4})-(${h4})-(${h4})-(${h4})-(${h4}${h4}${h4})}?$")
  if(NOT upper MATCHES "${pattern}")
    message(FATAL_ERROR "The player identity \"${guid}\" is no GUID: give one as uuidgen prints it "
                        "(say -DVELK2_PLAYER_IDENTITY=$(uuidgen))")
  endif()
  set(groups "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}" "${CMAKE_MATCH_3}" "${CMAKE_MATCH_4}" "${CMAKE_MATCH_5}")
  set(bytes)
  set(index 0)
  foreach(group IN LISTS groups)
    string(LENGTH "${group}" length)
    set(pairs)
    set(at 0)
    while(at LESS length)
      string(SUBSTRING "${group}" ${at} 2 pair)
      list(APPEND pairs "0x${pair}")
      math(EXPR at "${at} + 2")
    endwhile()
    # The GUID's three numbers are stored little-endian, its last eight bytes as written.
    if(index LESS 3)
      list(REVERSE pairs)
    endif()
    list(APPEND bytes ${pairs})
    math(EXPR index "${index} + 1")
  endforeach()

  set(VELK2_SETTINGS_FOLDER "${folder}")
  set(VELK2_SETTINGS_GUID "${upper}")
  list(JOIN bytes ", " VELK2_SETTINGS_BYTES)
  set(file ${CMAKE_BINARY_DIR}/generated/game_build_settings_${name}.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/GameBuildSettings.cpp.in ${file} @ONLY)
  set(${out} ${file} PARENT_SCOPE)
endfunction()
