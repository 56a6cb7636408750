# The test programs of the Windows build: the suites that need neither an X server nor POSIX
# calls, run under wine. One program per folder of tests/, as on Linux.
find_package(GTest CONFIG REQUIRED)

set(VELKOR_WINDOWS_TEST_SKIPS
  # They start programs, talk to X11, or set the environment through POSIX calls.
  e2e/play_with_keys_test.cpp game/logo_test.cpp game/hisc_file_test.cpp game/missing_font_test.cpp game/program_sound_test.cpp
  game/program_test.cpp game/window_test.cpp media/wave_test.cpp
  platform/audio_test.cpp platform/screen_test.cpp platform/sdl_keyboard_test.cpp platform/text_test.cpp
  ranking/submit_program_test.cpp ranking/unit2_ranking_server_test.cpp ranking/input_method_program_test.cpp
  game/first_scale_test.cpp game/no_desktop_test.cpp game/options_test.cpp game/ranking_host_program_test.cpp
  platform/sdl_gamepad_test.cpp platform/user_data_dir_test.cpp
  # Winsock tells a peer's close only once the data before it has been read, so its notice never
  # finds data waiting.
  ranking/psock_close_notice_test.cpp)
list(TRANSFORM VELKOR_WINDOWS_TEST_SKIPS PREPEND ${CMAKE_SOURCE_DIR}/tests/)

add_library(velkor_test_support STATIC ${CMAKE_SOURCE_DIR}/tests/support/harness.cpp
            ${CMAKE_SOURCE_DIR}/tests/support/memory_canvas.cpp ${CMAKE_SOURCE_DIR}/tests/support/form_driver.cpp
            ${CMAKE_SOURCE_DIR}/tests/support/script_server.cpp)
target_include_directories(velkor_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(velkor_test_support PUBLIC velkor_core GTest::gtest GTest::gmock)
# Wine's drive Z: is the Linux root, where the sources are.
target_compile_definitions(velkor_test_support PUBLIC VELKOR_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}"
                           VELKOR_CONFIGURED_RANKING_HOST="${VELKOR_RANKING_HOST}")

set(VELKOR_WINDOWS_TESTS)
foreach(dir app game media platform ranking)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${dir}/*.cpp)
  list(REMOVE_ITEM sources ${VELKOR_WINDOWS_TEST_SKIPS})
  if(NOT sources)
    continue()
  endif()
  add_executable(test_${dir} ${sources})
  target_link_libraries(test_${dir} PRIVATE velkor_test_support GTest::gtest_main)
  list(APPEND VELKOR_WINDOWS_TESTS test_${dir})
endforeach()
# The counting allocator, in the programs whose tests count allocations, as on Linux.
add_library(velkor_test_allocations OBJECT ${CMAKE_SOURCE_DIR}/tests/support/allocations/counting_new.cpp)
target_include_directories(velkor_test_allocations PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(test_media PRIVATE velkor_test_allocations)
target_link_libraries(test_platform PRIVATE velkor_test_allocations)
add_custom_target(windows_tests DEPENDS ${VELKOR_WINDOWS_TESTS})

# A copy of velkor.exe that sends to VELKOR_WINE_RANKING_PORT on 127.0.0.1, for the test of the
# submission under wine. Its host file is compiled again through a file of this build's own: the
# shipped program's copy carries the configured host among its source properties.
file(WRITE ${CMAKE_BINARY_DIR}/wine_ranking_host.cpp
     "#define VELKOR_RANKING_HOST \"127.0.0.1:${VELKOR_WINE_RANKING_PORT}\"\n#include \"ranking/ranking_host.cpp\"\n")
add_executable(velkor_ranking_e2e WIN32 ${CMAKE_SOURCE_DIR}/src/velkor.cpp ${CMAKE_BINARY_DIR}/wine_ranking_host.cpp)
target_include_directories(velkor_ranking_e2e PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(velkor_ranking_e2e PRIVATE velkor_core)
add_dependencies(windows_tests velkor velkor_ranking_e2e)
