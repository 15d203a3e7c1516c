# The bar on the XWayland of real Wayland compositors (sway, weston) nested in
# the test's own X server; a compositor that does not start fails.
zx_add_test(app_wayland_e2e_test GUI ENGINE TIMEOUT 600 SOURCES wayland_e2e_test.cpp
  LIBS zx_wayland_session zx_platform zx_test_servers Qt6::Gui)
add_dependencies(app_wayland_e2e_test zeltrix ordinary_user)
