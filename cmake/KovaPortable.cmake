# The Windows-free code of kova: decoders and layouts of outside input, the
# client library's display word and request records, and the text helpers.
# The cross build makes it the library kova_portable (under kova_base);
# tests/native builds the same files for the build machine with the
# sanitizers. Paths are relative to the top of the repository.
set(KOVA_PORTABLE_HEADERS
  api/client_requests.h
  api/lcd_word.h
  base/text_util.h
  hid/feature_report_layout.h
  hid/virtual_receiver_protocol.h
  keys/numeric_entry.h
  keys/report_decoder.h
  osd/client_osd_request.h
)
set(KOVA_PORTABLE_SOURCES
  api/client_requests.cpp
  api/lcd_word.cpp
  base/text_util.cpp
  hid/feature_report_layout.cpp
  hid/virtual_receiver_protocol.cpp
  keys/numeric_entry.cpp
  keys/report_decoder.cpp
  osd/client_osd_request.cpp
)
