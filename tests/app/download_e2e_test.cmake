# Loading a list and downloading its images, with the real program.
zx_add_test(app_download_e2e_test GUI ENGINE TIMEOUT 600 SOURCES download_e2e_test.cpp
  LIBS zx_x11_probe zx_test_servers)
add_dependencies(app_download_e2e_test zeltrix)
