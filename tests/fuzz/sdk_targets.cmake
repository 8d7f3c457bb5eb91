# The S3 client layer's XML result parsers and error parser. Only the sources those parsers
# reach are built (no HTTP, no crypto); tinyxml2 comes from the system.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)

add_library(fuzz_sdk_parsers STATIC
  ${ROOT}/sdk/src/core/CoreErrors.cpp
  ${ROOT}/sdk/src/core/DateTime.cpp
  ${ROOT}/sdk/src/core/HttpTypes.cpp
  ${ROOT}/sdk/src/core/StringUtils.cpp
  ${ROOT}/sdk/src/core/XmlText.cpp
  ${ROOT}/sdk/src/s3/BucketLocationConstraint.cpp
  ${ROOT}/sdk/src/s3/EnumMappers.cpp
  ${ROOT}/sdk/src/s3/ErrorMarshaller.cpp
  ${ROOT}/sdk/src/s3/S3Errors.cpp
  ${ROOT}/sdk/src/s3/XmlParsing.cpp)
target_include_directories(fuzz_sdk_parsers PUBLIC ${ROOT}/sdk/include ${ROOT}/sdk/src)
target_link_libraries(fuzz_sdk_parsers PUBLIC PkgConfig::TINYXML2)

foreach(name fuzz_results fuzz_errors)
  add_executable(${name} ${name}.cpp)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE fuzz_sdk_parsers)
endforeach()
