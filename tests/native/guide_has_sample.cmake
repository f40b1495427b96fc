# The client guide shows the sample program as it is built: fails when the
# code in docs/client-api.md and api/sample/kovaapi_sample.c part ways.
file(READ "${GUIDE}" guide)
file(READ "${SAMPLE}" sample)
string(FIND "${guide}" "```c\n${sample}```" at)
if(at EQUAL -1)
  message(FATAL_ERROR "docs/client-api.md does not hold api/sample/kovaapi_sample.c as it is")
endif()
