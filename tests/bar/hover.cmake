# Reveal, hide, hover preview and arrow keys, on the fake platform and the
# headless engine; the tests drive the bar's tick themselves.
zx_add_test(bar_hover_test QT
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/hover_reveal_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hover_preview_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hover_keys_test.cpp
  LIBS zx_bar zx_platform_fake Qt6::Test)
