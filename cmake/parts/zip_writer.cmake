# The ZIP writer's test with a member over 4 GiB needs about 9 GB of memory and minutes of
# CPU, so it is disabled inside test_support and runs only on request:
#   ctest --test-dir build/linux -C slow -L slow
if(KV_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME support.zip_member_over_4gib CONFIGURATIONS slow
    COMMAND test_support --gtest_also_run_disabled_tests
            --gtest_filter=ZipWriterZip64.DISABLED_MemberOver4GiBIsDescribedByZip64Fields)
  set_tests_properties(support.zip_member_over_4gib PROPERTIES LABELS slow TIMEOUT 1800)
endif()
