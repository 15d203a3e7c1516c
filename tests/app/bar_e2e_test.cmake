# The bar's reveal, preview and hiding with the real program, a real pointer
# and a real window manager (openbox) on an X server of the test's own.
zx_add_test(app_bar_e2e_test GUI ENGINE TIMEOUT 600 SOURCES bar_e2e_test.cpp LIBS zx_x11_probe zx_skin zx_test_files)
add_dependencies(app_bar_e2e_test zeltrix)
