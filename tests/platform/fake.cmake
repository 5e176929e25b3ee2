# The recording fake device layer: a test-only library for the serial
# component's tests (exact driver calls, failing calls, injected events).
add_library(cardpush_fake_comm STATIC ${CMAKE_CURRENT_LIST_DIR}/fake_comm_api.cpp)
target_include_directories(cardpush_fake_comm PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(cardpush_fake_comm PUBLIC cardpush_platform)
