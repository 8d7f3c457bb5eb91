# The S3 client layer's answer classification, result parsers and error parser: its parser
# library, built here with the fuzzing instrumentation (no HTTP; the rest of the client is not
# built). tinyxml2 and OpenSSL come from the system.
add_subdirectory(${ROOT}/sdk sdk EXCLUDE_FROM_ALL)

foreach(name fuzz_results fuzz_errors)
  add_executable(${name} ${name}.cpp)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE awssdk_parsers awssdk_private_headers)
endforeach()
