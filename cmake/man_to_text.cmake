# cmake -DMANDOC=<mandoc> -DPAGE=<page.1> -DOUT=<page.txt> -P man_to_text.cmake
#
# Renders a manual page as plain text for systems without man (the Windows zip): ASCII
# only, the bold and underlined letters mandoc makes by overstriking (a letter, a
# backspace, the letter again) reduced to the letter, and CR LF line ends, which every
# Windows editor shows as lines.
execute_process(COMMAND ${MANDOC} -Tascii -Owidth=78 ${PAGE} OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "mandoc could not render ${PAGE}")
endif()
string(ASCII 8 backspace)
string(REGEX REPLACE ".${backspace}" "" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
