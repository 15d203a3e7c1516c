# One copy at a time, with the real program.
zx_add_test(app_single_instance_e2e_test GUI ENGINE TIMEOUT 900 SOURCES single_instance_e2e_test.cpp
  LIBS zx_shared zx_platform_fake zx_platform_linux zx_x11_probe zx_test_files zx_test_servers zx_skin)
add_dependencies(app_single_instance_e2e_test zeltrix)
