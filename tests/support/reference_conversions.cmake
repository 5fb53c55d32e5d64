# The record-by-record conversions and the record codecs they use: the reference of the
# differential tests and fuzzers, and the benchmark's yardstick. Included from each of them;
# whichever comes first defines it.
if(NOT TARGET velmorin_reference_conversions)
  add_library(velmorin_reference_conversions STATIC
    ${CMAKE_CURRENT_LIST_DIR}/reference_conversions.cc ${CMAKE_CURRENT_LIST_DIR}/record_codecs.cc)
  target_include_directories(velmorin_reference_conversions PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(velmorin_reference_conversions PUBLIC velmorin_convert PRIVATE velmorin_warnings)
endif()
