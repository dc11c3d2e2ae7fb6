# Settings shared by every target of the project.

if(WIN32)
  # Tests run under Wine in a prefix kept inside the build tree.
  set(PLUMIX_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/tools/wine/wine-run;${PLUMIX_WINE_STATE};${CMAKE_SYSTEM_PROCESSOR})
else()
  # The portable core is checked natively under the sanitizers; benchmarks turn
  # them off to measure the code as it would ship.
  option(PLUMIX_SANITIZE "Build the native configuration under AddressSanitizer and UBSan" ON)
  if(PLUMIX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

function(plumix_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  if(WIN32)
    target_compile_definitions(${target} PUBLIC
        UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  endif()
endfunction()
