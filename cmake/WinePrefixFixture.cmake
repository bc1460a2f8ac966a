# vwn_wine_prefix_fixture(NAME PREFIX FIXTURE): the tests NAME_setup, which makes the Wine
# prefix PREFIX before the first test that requires FIXTURE, and NAME_shutdown, which ends
# the prefix's server after the last of them, so that no process of ours is left running.
function(vwn_wine_prefix_fixture name prefix fixture)
  add_test(NAME ${name}_setup
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/run-captured ${CMAKE_SOURCE_DIR}/scripts/wine-prefix ${prefix})
  set_tests_properties(${name}_setup PROPERTIES FIXTURES_SETUP ${fixture})
  add_test(NAME ${name}_shutdown COMMAND sh -c "WINEPREFIX='${prefix}' wineserver -k 2>/dev/null || true")
  set_tests_properties(${name}_shutdown PROPERTIES FIXTURES_CLEANUP ${fixture})
endfunction()
