# Read by CTest after the discovery script has defined the imaging-tool tests.
if(morvane_imager_tests_TESTS)
    set_tests_properties(${morvane_imager_tests_TESTS} PROPERTIES LABELS "core;e2e")
endif()
