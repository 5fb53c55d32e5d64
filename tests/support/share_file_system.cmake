# A simulated share over a local file system: for the conversion benchmark and the tests that
# must see calls overlap. Included from each; whichever comes first defines it.
if(NOT TARGET velmorin_share_file_system)
  add_library(velmorin_share_file_system STATIC ${CMAKE_CURRENT_LIST_DIR}/share_file_system.cc)
  target_include_directories(velmorin_share_file_system PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(velmorin_share_file_system PUBLIC velmorin_platform_core PRIVATE velmorin_warnings)
endif()
