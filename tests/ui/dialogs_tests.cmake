# SPDX-License-Identifier: GPL-3.0-or-later
if(RELABO_GUI)
  relabo_add_test_executable(relabo_dialogs_tests
    dialogs_test_main.cpp
    history_test.cpp
    properties_test.cpp
    selection_form_test.cpp
    single_line_test.cpp
    undo_history_dialog_test.cpp
  )
  target_link_libraries(relabo_dialogs_tests PRIVATE relabo_dialogs Qt6::Test Qt6::Widgets
                        Qt6::DBus)
endif()
