# SPDX-License-Identifier: GPL-3.0-or-later
# The main window, its command pages, help and About, tested offscreen.
if(RELABO_GUI)
  relabo_add_test_executable(relabo_mainwindow_tests
    command_pages_test.cpp
    help_topic_test.cpp
    main_form_test.cpp
    main_form_test_main.cpp
    main_layout_test.cpp
  )
  target_link_libraries(relabo_mainwindow_tests PRIVATE relabo_mainwindow Qt6::Test Qt6::Widgets)
  # The help file is checked where it is kept.
  target_compile_definitions(relabo_mainwindow_tests PRIVATE
                             RELABO_HELP_FILE="${PROJECT_SOURCE_DIR}/doc/RelaboEn.html")
endif()
