zx_add_test(bar_download_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_file_test.cpp
  LIBS zx_bar zx_test_servers)
zx_add_test(bar_download_test QT TIMEOUT 180 SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_walk_test.cpp
  LIBS zx_app zx_bar zx_platform_fake zx_test_servers Qt6::Test)
