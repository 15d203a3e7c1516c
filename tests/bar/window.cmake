zx_add_test(bar_window_test QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp LIBS zx_bar zx_platform_fake Qt6::Test)
