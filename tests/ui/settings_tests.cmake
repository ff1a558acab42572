# SPDX-License-Identifier: GPL-3.0-or-later
if(RELABO_GUI)
  relabo_add_test_executable(relabo_settings_tests settings_test.cpp)
  target_link_libraries(relabo_settings_tests PRIVATE relabo_settings Qt6::Core Qt6::Test)

  # The signals that end a session close the main window the normal way, so that it saves the
  # settings; tested in the window and in the built program.
  relabo_add_test_executable(relabo_quit_signals_tests
    main_form_test_main.cpp
    quit_signals_test.cpp
  )
  target_link_libraries(relabo_quit_signals_tests PRIVATE relabo_mainwindow Qt6::Test Qt6::Widgets)
  target_compile_definitions(relabo_quit_signals_tests PRIVATE
                             RELABO_PROGRAM="$<TARGET_FILE:relabo>")
  add_dependencies(relabo_quit_signals_tests relabo)
endif()
