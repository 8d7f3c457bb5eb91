# The S3 client layer's answer classification, result parsers and error parser. Only the
# sources those reach are built (no HTTP); tinyxml2 and OpenSSL come from the system.
find_package(OpenSSL REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)

add_library(fuzz_sdk_parsers STATIC
  ${ROOT}/sdk/src/core/CoreErrors.cpp
  ${ROOT}/sdk/src/core/Crc.cpp
  ${ROOT}/sdk/src/core/Crypto.cpp
  ${ROOT}/sdk/src/core/DateTime.cpp
  ${ROOT}/sdk/src/core/HttpTypes.cpp
  ${ROOT}/sdk/src/core/ResponseStream.cpp
  ${ROOT}/sdk/src/core/StringUtils.cpp
  ${ROOT}/sdk/src/core/XmlText.cpp
  ${ROOT}/sdk/src/s3/BucketLocationConstraint.cpp
  ${ROOT}/sdk/src/s3/EnumMappers.cpp
  ${ROOT}/sdk/src/s3/ErrorMarshaller.cpp
  ${ROOT}/sdk/src/s3/S3Errors.cpp
  ${ROOT}/sdk/src/s3/ResponseClassification.cpp
  ${ROOT}/sdk/src/s3/ResultParsing.cpp
  ${ROOT}/sdk/src/s3/Xml.cpp)
target_include_directories(fuzz_sdk_parsers PUBLIC ${ROOT}/sdk/include ${ROOT}/sdk/src)
target_link_libraries(fuzz_sdk_parsers PUBLIC PkgConfig::TINYXML2 OpenSSL::Crypto)

foreach(name fuzz_results fuzz_errors)
  add_executable(${name} ${name}.cpp)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE fuzz_sdk_parsers)
endforeach()
