# The engine's sandbox for an ordinary user, and the program where user
# namespaces are denied, with a helper that runs a command as such a user.
add_executable(ordinary_user ordinary_user.cpp)
zx_warnings(ordinary_user)
zx_add_test(app_engine_sandbox_e2e_test GUI ENGINE TIMEOUT 600 SOURCES engine_sandbox_e2e_test.cpp
  LIBS zx_x11_probe zx_test_files)
add_dependencies(app_engine_sandbox_e2e_test zeltrix ordinary_user)
