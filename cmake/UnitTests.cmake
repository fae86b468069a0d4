# One unit-test executable per library, built from the *_test.cpp files that stand beside
# the library's code; `unit_tests` builds them all (the sanitizer pass of make test runs them,
# the tests labelled "unit").
add_custom_target(unit_tests)
function(kv_unit_tests name dir)
  file(GLOB test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*_test.cpp)
  # Platform files are tested on their own platform only.
  if(WIN32)
    list(FILTER test_sources EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER test_sources EXCLUDE REGEX "_windows_test\\.cpp$")
  endif()
  if(NOT test_sources)
    return()
  endif()
  add_executable(${name} ${test_sources})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_options(${name} PRIVATE ${KV_TEST_OPTIONS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src
                                             ${PROJECT_SOURCE_DIR}/tests/support)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS unit)
  add_dependencies(unit_tests ${name})
endfunction()

kv_unit_tests(base_tests base kv_base)
kv_unit_tests(io_tests io kv_io)
kv_unit_tests(text_tests text kv_text)
kv_unit_tests(model_tests model kv_model)
kv_unit_tests(launch_tests launch kv_launch)
kv_unit_tests(estimation_tests estimation kv_estimation)
# The listing's tests also check the plot files their stages write beside the tables.
kv_unit_tests(listing_tests listing kv_listing kv_plots)
kv_unit_tests(plots_tests plots kv_plots)
kv_unit_tests(app_tests app kv_app)
kv_unit_tests(study_tests study kv_study)
kv_unit_tests(field_tests field kv_field)
kv_unit_tests(mesh_tests mesh kv_mesh)
kv_unit_tests(cluster_tests cluster kv_cluster)
