# cmake -D CHANGELOG_MD=CHANGELOG.md -D DEBIAN_CHANGELOG=<built changelog> -D VERSION=1.1.0
#       -D DPKG_PARSECHANGELOG=<path or NOTFOUND> -D DATE=<path or NOTFOUND>
#       -D CONVERTER=debian_changelog.cmake -D WORK_DIR=<scratch folder> -P changelog_test.cmake
#
# Checks the Debian form of the changelog with Debian's own parser (dpkg-parsechangelog) as
# the referee: it reads without a warning; it holds one entry per release of CHANGELOG.md, in
# the same order, the newest being the project's version; every entry is later than the one
# below it; each declared day of the week is the one GNU date gives for the entry's time. And
# the converter refuses a CHANGELOG.md whose newest release is not the project's version.

if(NOT DPKG_PARSECHANGELOG OR NOT DATE)
  message("SKIPPED: dpkg-parsechangelog (package dpkg-dev) or GNU date is not installed")
  return()
endif()

set(failures 0)
macro(fail message)
  message(SEND_ERROR "${message}")
  math(EXPR failures "${failures} + 1")
endmacro()

# The releases as CHANGELOG.md lists them, newest first.
file(STRINGS ${CHANGELOG_MD} headings REGEX "^## \\[[0-9]+\\.[0-9]+\\.[0-9]+\\] - ")
set(expected_versions)
foreach(heading IN LISTS headings)
  string(REGEX REPLACE "^## \\[([^]]+)\\].*$" "\\1" version "${heading}")
  list(APPEND expected_versions ${version})
endforeach()

execute_process(
  COMMAND ${DPKG_PARSECHANGELOG} -l ${DEBIAN_CHANGELOG} --all --format rfc822
  RESULT_VARIABLE status
  OUTPUT_VARIABLE parsed
  ERROR_VARIABLE warnings)
if(NOT status EQUAL 0)
  fail("dpkg-parsechangelog failed (${status}): ${warnings}")
endif()
if(NOT warnings STREQUAL "")
  fail("dpkg-parsechangelog warns about the changelog:\n${warnings}")
endif()

string(REGEX MATCHALL "\nVersion: [^\n]+" version_lines "\n${parsed}")
string(REGEX MATCHALL "\nTimestamp: [0-9]+" timestamp_lines "\n${parsed}")
string(REGEX MATCHALL "\nDate: [A-Za-z]+," weekday_lines "\n${parsed}")
set(versions)
foreach(line IN LISTS version_lines)
  string(REGEX REPLACE "^\nVersion: " "" line "${line}")
  list(APPEND versions ${line})
endforeach()
if(NOT versions STREQUAL expected_versions)
  fail("entries: \"${versions}\", but CHANGELOG.md's releases are \"${expected_versions}\"")
endif()
list(GET versions 0 newest)
if(NOT newest STREQUAL VERSION)
  fail("the newest entry is ${newest}, the project's version ${VERSION}")
endif()

set(later "")
list(LENGTH timestamp_lines count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last})
  list(GET timestamp_lines ${i} stamp)
  string(REGEX REPLACE "^\nTimestamp: " "" stamp "${stamp}")
  if(NOT later STREQUAL "")
    if(NOT stamp LESS later)
      fail("entry ${i} (${stamp}) is not earlier than the entry above it (${later})")
    endif()
  endif()
  set(later ${stamp})

  list(GET weekday_lines ${i} declared)
  string(REGEX REPLACE "^\nDate: ([A-Za-z]+),$" "\\1" declared "${declared}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${DATE} -u -d @${stamp} +%a
    OUTPUT_VARIABLE actual
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT declared STREQUAL actual)
    fail("entry ${i} declares ${declared}, but its date is a ${actual}")
  endif()
endforeach()

# A release number that CHANGELOG.md does not have yet stops the build.
file(REMOVE ${WORK_DIR}/changelog.refused)
execute_process(
  COMMAND ${CMAKE_COMMAND} -D INPUT=${CHANGELOG_MD} -D OUTPUT=${WORK_DIR}/changelog.refused -D PACKAGE=parle
          -D VERSION=99.0.0 -D "MAINTAINER=A <a@example.org>" -P ${CONVERTER}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(status EQUAL 0)
  fail("the converter took a version that CHANGELOG.md does not have")
endif()
# CMake wraps its messages: compare with the white space folded.
string(REGEX REPLACE "[ \n]+" " " output "${output}")
if(NOT output MATCHES "newest release is ${VERSION}, but the project's version is 99\\.0\\.0")
  fail("the converter's refusal does not name the two versions:\n${output}")
endif()
if(EXISTS ${WORK_DIR}/changelog.refused)
  fail("the converter wrote a changelog it refused")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) failed")
endif()
