# Images dragged out of real web browsers (Chromium, Firefox ESR) onto the
# running program; a browser that is not installed fails.
zx_add_test(app_browser_drop_e2e_test GUI ENGINE TIMEOUT 600 SOURCES browser_drop_e2e_test.cpp
  LIBS zx_x11_probe zx_test_servers Qt6::Gui)
add_dependencies(app_browser_drop_e2e_test zeltrix)
