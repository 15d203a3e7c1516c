zx_add_test(bar_drop_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/drop_handler_test.cpp ${CMAKE_CURRENT_LIST_DIR}/drop_duplicate_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/drop_cache_test.cpp
  LIBS zx_bar zx_platform_fake zx_platform_linux zx_test_files)
