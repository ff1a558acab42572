if(RELABO_GUI)
  relabo_add_test_executable(relabo_settings_tests settings_test.cpp)
  target_link_libraries(relabo_settings_tests PRIVATE relabo_settings Qt6::Core Qt6::Test)
endif()
