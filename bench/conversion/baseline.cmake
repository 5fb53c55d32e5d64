# The record-by-record conversions: the benchmark's yardstick and the differential tests'
# reference. Included from both places; whichever comes first defines it.
if(NOT TARGET velmorin_conversion_baseline)
  add_library(velmorin_conversion_baseline STATIC ${CMAKE_CURRENT_LIST_DIR}/baseline.cc)
  target_include_directories(velmorin_conversion_baseline PUBLIC ${PROJECT_SOURCE_DIR}/bench)
  target_link_libraries(velmorin_conversion_baseline PUBLIC velmorin_convert PRIVATE velmorin_warnings)
endif()
