# Read by CTest after the discovery script has defined the drive-image end-to-end tests.
if(morvane_image_tests_TESTS)
    set_tests_properties(${morvane_image_tests_TESTS} PROPERTIES LABELS "core;e2e")
endif()
