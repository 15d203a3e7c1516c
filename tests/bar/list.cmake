zx_add_test(bar_list_test QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/list_save_test.cpp ${CMAKE_CURRENT_LIST_DIR}/list_load_test.cpp
  LIBS zx_bar zx_platform_fake zx_test_files)
zx_add_test(bar_list_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/list_file_test.cpp LIBS zx_bar zx_test_files)
