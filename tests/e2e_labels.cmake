# Read by CTest after the discovery scripts of a folder have defined its tests. gtest_discover_tests
# flattens a list given in PROPERTIES ("core;e2e" arrives as two words), so the end-to-end suites get
# their two labels here.
foreach(suite IN ITEMS morvane_cli_tests morvane_imager_tests morvane_image_tests morvane_storage_loss_tests)
    if(${suite}_TESTS)
        set_tests_properties(${${suite}_TESTS} PROPERTIES LABELS "core;e2e")
    endif()
endforeach()
