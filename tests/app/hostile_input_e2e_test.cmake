# The real program against hostile pictures, addresses, messages and limits,
# as root and as an ordinary user.
zx_add_test(app_hostile_input_e2e_test GUI ENGINE TIMEOUT 900 SOURCES hostile_input_e2e_test.cpp
  LIBS zx_platform_linux zx_x11_probe zx_test_files zx_test_servers)
add_dependencies(app_hostile_input_e2e_test zeltrix ordinary_user)
