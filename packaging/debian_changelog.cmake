# cmake -D INPUT=CHANGELOG.md -D OUTPUT=changelog -D PACKAGE=parle -D VERSION=1.1.0
#       -D MAINTAINER="Name <address>" -P debian_changelog.cmake
#
# Writes the Debian form of the project's changelog. The package has no Debian revision (its
# version is the release number alone), so Debian's tools read /usr/share/doc/<package>/
# changelog.gz as a Debian changelog: one entry per release, newest first, each
#
#   parle (1.1.0) unstable; urgency=medium
#
#     Added:
#     * an item of the release's list
#       - a sub-item
#
#    -- The parle developers <address>  Fri, 11 Dec 2026 00:00:00 +0000
#
# INPUT is in the "Keep a Changelog" form: a release is "## [X.Y.Z] - YYYY-MM-DD", its parts
# "### Added" and so on, its items Markdown list items. Everything before the first release,
# and an "## [Unreleased]" part, is left out. The newest release must be VERSION, so that the
# changelog is updated with every release number.
#
# A Debian changelog entry carries a time as well as a date, and every entry must be later
# than the one below it. A release is stamped at midnight UTC of its day; each later release
# of the same day one minute after the one before it.

foreach(var INPUT OUTPUT PACKAGE VERSION MAINTAINER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "debian_changelog.cmake: -D ${var}=... is missing")
  endif()
endforeach()

# The day of the week of a date, as Debian writes it (Sakamoto's method).
function(weekday year month day out)
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  math(EXPR dow "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
  set(names Sun Mon Tue Wed Thu Fri Sat)
  list(GET names ${dow} name)
  set(${out} ${name} PARENT_SCOPE)
endfunction()

file(READ ${INPUT} text)
# Walk the lines by position: list commands would split at ';' and mind '[' and ']'.
set(releases 0)
set(in_release FALSE)
set(line_number 0)
set(pending_blank FALSE)
set(after_heading FALSE)
while(NOT text STREQUAL "")
  string(FIND "${text}" "\n" end)
  if(end EQUAL -1)
    set(line "${text}")
    set(text "")
  else()
    string(SUBSTRING "${text}" 0 ${end} line)
    math(EXPR next "${end} + 1")
    string(SUBSTRING "${text}" ${next} -1 text)
  endif()
  math(EXPR line_number "${line_number} + 1")

  if(line MATCHES "^## ")
    if(line MATCHES "^## \\[([0-9]+\\.[0-9]+\\.[0-9]+)\\] - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
      set(release_${releases}_version ${CMAKE_MATCH_1})
      set(release_${releases}_year ${CMAKE_MATCH_2})
      set(month ${CMAKE_MATCH_3})
      set(day ${CMAKE_MATCH_4})
      # Without leading zeros, which math() would take for octal.
      string(REGEX REPLACE "^0" "" release_${releases}_month ${month})
      string(REGEX REPLACE "^0" "" release_${releases}_day ${day})
      set(release_${releases}_body "")
      set(current ${releases})
      math(EXPR releases "${releases} + 1")
      set(in_release TRUE)
      set(pending_blank FALSE)
    elseif(line MATCHES "^## \\[Unreleased\\]")
      set(in_release FALSE)
    else()
      message(FATAL_ERROR "${INPUT}:${line_number}: a release heading is \"## [X.Y.Z] - YYYY-MM-DD\"")
    endif()
    continue()
  endif()
  if(NOT in_release)
    continue()
  endif()

  if(line STREQUAL "")
    set(pending_blank TRUE)
    continue()
  elseif(line MATCHES "^### (.+)$")
    set(out "  ${CMAKE_MATCH_1}:")
  elseif(line MATCHES "^- (.*)$")
    set(out "  * ${CMAKE_MATCH_1}")
  else()
    # A continuation line, a sub-item or its continuation: indented below the item.
    set(out "  ${line}")
  endif()
  string(LENGTH "${out}" width)
  if(width GREATER 80)
    message(FATAL_ERROR "${INPUT}:${line_number}: longer than 78 characters, too long for a Debian changelog line")
  endif()
  # Blank lines as in INPUT, except at the top of a release and under a part's heading.
  if(pending_blank AND NOT release_${current}_body STREQUAL "" AND NOT after_heading)
    string(APPEND release_${current}_body "\n")
  endif()
  set(pending_blank FALSE)
  string(APPEND release_${current}_body "${out}\n")
  if(line MATCHES "^### ")
    set(after_heading TRUE)
  else()
    set(after_heading FALSE)
  endif()
endwhile()

if(releases EQUAL 0)
  message(FATAL_ERROR "${INPUT} holds no release (\"## [X.Y.Z] - YYYY-MM-DD\")")
endif()
if(NOT release_0_version STREQUAL VERSION)
  message(FATAL_ERROR "${INPUT}'s newest release is ${release_0_version}, but the project's version is ${VERSION}: "
                      "add a part for ${VERSION} at its top")
endif()

# Times, from the oldest release up: one minute more for every earlier release of the same day.
math(EXPR last "${releases} - 1")
set(previous_date "")
set(minute 0)
foreach(i RANGE ${last} 0 -1)
  set(date "${release_${i}_year}-${release_${i}_month}-${release_${i}_day}")
  if(date STREQUAL previous_date)
    math(EXPR minute "${minute} + 1")
  else()
    set(minute 0)
  endif()
  set(previous_date "${date}")
  if(minute GREATER 59)
    message(FATAL_ERROR "${INPUT}: more than 60 releases on ${date}")
  endif()
  set(release_${i}_minute ${minute})
endforeach()

set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(result "")
foreach(i RANGE 0 ${last})
  if(release_${i}_body STREQUAL "")
    message(FATAL_ERROR "${INPUT}: release ${release_${i}_version} lists no change")
  endif()
  weekday(${release_${i}_year} ${release_${i}_month} ${release_${i}_day} dow)
  math(EXPR month_index "${release_${i}_month} - 1")
  list(GET months ${month_index} month_name)
  set(day ${release_${i}_day})
  if(day LESS 10)
    set(day "0${day}")
  endif()
  set(minute ${release_${i}_minute})
  if(minute LESS 10)
    set(minute "0${minute}")
  endif()
  string(APPEND result
         "${PACKAGE} (${release_${i}_version}) unstable; urgency=medium\n\n"
         "${release_${i}_body}\n"
         " -- ${MAINTAINER}  ${dow}, ${day} ${month_name} ${release_${i}_year} 00:${minute}:00 +0000\n")
  if(i LESS last)
    string(APPEND result "\n")
  endif()
endforeach()

file(WRITE ${OUTPUT} "${result}")
